// File: pem.cpp
//
// PEM armour. See pem.h.
#include "pem.h"

#include <string.h>

#include "failure.h"

namespace zqcli {
namespace {

const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char begin[] = "-----BEGIN ", end[] = "-----END ", dashes[] = "-----";
constexpr size_t LineCharacters = 64;

int sextet(char ch) {
    const char* found = ch != 0 ? strchr(alphabet, ch) : nullptr;
    return found != nullptr ? static_cast<int>(found - alphabet) : -1;
}

// Lines: the text cut at LF, each without its CR LF or LF end.
std::vector<std::string> linesOf(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> lines(1);
    for (uint8_t byte : bytes) {
        if (byte == '\n') {
            if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
            lines.emplace_back();
        } else {
            lines.back() += static_cast<char>(byte);
        }
    }
    return lines;
}

bool startsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

// armourLabel is the label of a BEGIN or END line (`marker` its start), or
// false when `text` is not one. Blanks after the line's dashes are allowed,
// as RFC 7468's lax form and OpenSSL allow them.
bool armourLabel(const std::string& text, const char* marker, std::string& label) {
    const std::string line = text.substr(0, text.find_last_not_of(" \t") + 1);
    const size_t from = strlen(marker), tail = strlen(dashes);
    if (!startsWith(line, marker) || line.size() < from + tail || line.compare(line.size() - tail, tail, dashes) != 0) {
        return false;
    }
    label = line.substr(from, line.size() - from - tail);
    return true;
}

}  // namespace

bool looksLikePem(const std::vector<uint8_t>& bytes) {
    const size_t length = strlen(begin);
    for (size_t i = 0; i + length <= bytes.size(); ++i) {
        if (memcmp(bytes.data() + i, begin, length) == 0) return true;
    }
    return false;
}

PemBlock readPem(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::vector<std::string> lines = linesOf(bytes);
    const std::string file = quoteName(name);
    PemBlock block;
    size_t line = 0;
    while (line < lines.size() && !armourLabel(lines[line], begin, block.label)) ++line;
    if (line == lines.size()) fail(file, "not a PEM file: no BEGIN line");
    std::string text;
    std::string closing;
    for (++line; line < lines.size() && !armourLabel(lines[line], end, closing); ++line) {
        if (lines[line].find(':') != std::string::npos) {
            fail(file, lines[line].find("ENCRYPTED") != std::string::npos
                           ? "an encrypted key; give the key unencrypted"
                           : "a PEM block with headers, which a key file does not have");
        }
        text += lines[line];
    }
    if (line == lines.size()) fail(file, "PEM block '" + block.label + "' without its END line");
    if (closing != block.label) fail(file, "PEM block '" + block.label + "' ends with '" + closing + "'");

    // Base64 in groups of 4, '=' only at the end of the last one.
    size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    if (text.size() % 4 != 0) fail(file, "PEM block '" + block.label + "': Base64 of a length that is no multiple of 4");
    uint32_t group = 0;
    for (size_t i = 0; i < text.size() - padding; ++i) {
        const int value = sextet(text[i]);
        if (value < 0) fail(file, "PEM block '" + block.label + "': a character that is not Base64");
        group = group << 6 | static_cast<uint32_t>(value);
        if (i % 4 == 3) {
            for (int shift = 16; shift >= 0; shift -= 8) block.der.push_back(static_cast<uint8_t>(group >> shift));
        }
    }
    const size_t tail = (text.size() - padding) % 4;
    if (tail == 1) fail(file, "PEM block '" + block.label + "': Base64 cut short");
    if (tail != 0) {
        group <<= 6 * (4 - tail);
        block.der.push_back(static_cast<uint8_t>(group >> 16));
        if (tail == 3) block.der.push_back(static_cast<uint8_t>(group >> 8));
    }
    return block;
}

std::string writePem(const std::string& label, const std::vector<uint8_t>& der) {
    std::string text;
    for (size_t i = 0; i < der.size(); i += 3) {
        const size_t count = der.size() - i < 3 ? der.size() - i : 3;
        uint32_t group = static_cast<uint32_t>(der[i]) << 16;
        if (count > 1) group |= static_cast<uint32_t>(der[i + 1]) << 8;
        if (count > 2) group |= der[i + 2];
        for (size_t j = 0; j < 4; ++j) text += j <= count ? alphabet[(group >> (18 - 6 * j)) & 63] : '=';
    }
    std::string pem = begin + label + dashes + "\n";
    for (size_t i = 0; i < text.size(); i += LineCharacters) pem += text.substr(i, LineCharacters) + "\n";
    return pem + end + label + dashes + "\n";
}

}  // namespace zqcli

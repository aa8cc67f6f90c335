// File: base64.cpp
//
// zqcrypt base64: Base64 text in the library's layout, or the bytes of such
// text, in constant memory. Both directions go through the library's
// exports, piece by piece: encoding in pieces of whole 48-byte lines, so that
// the pieces' texts joined are the text of the whole input; decoding in
// pieces of whole four-character groups. The decoder checks the text first,
// which the library's decoder does not: only the 64 digits, "=" ending the
// last group, line ends anywhere, and zero bytes at the very end (the
// library's own terminator) are taken.
#include <string>
#include <vector>

#include "failure.h"
#include "input.h"
#include "library_blob.h"
#include "output.h"
#include "progress.h"
#include "subcommand.h"

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt base64 [-d] [-o FILE] [--[no-]progress] [FILE]\n"
    "Write FILE (standard input when none, or '-') as Base64 text in the zqcrypt\n"
    "library's layout: RFC 4648 alphabet with '=' padding, CR LF after every 64\n"
    "characters (none after a shorter last line), without the zero bytes that end\n"
    "the library's text blob. With -d, write the bytes of such text instead.\n\n"
    "  -d, --decode        decode: lines may end in CR LF or LF, or the text may be\n"
    "                      unbroken; any other character outside the Base64\n"
    "                      alphabet is an error (exit 2)\n"
    "  -o, --output FILE   write to FILE, which appears only when complete\n"
    "      --progress      show a progress line on stderr from the start, even when\n"
    "                      stderr is not a terminal\n"
    "      --no-progress   show none; by default a terminal on stderr shows one for\n"
    "                      an input read for more than a second\n";

// Encoding: one piece is 4096 lines of 48 bytes.
constexpr size_t EncodePiece = 48 * 4096;
// Decoding: digits are handed to the library 256 KiB at a time.
constexpr size_t DecodePiece = 1 << 18;

void encode(InputFile& input, Output& output) {
    std::vector<uint8_t> buffer(EncodePiece);
    for (;;) {
        const size_t count = input.read(buffer.data(), buffer.size());
        if (count == 0) break;
        const CryptBlob bytes = inputBlob(buffer.data(), count);
        FilledBlob text;
        if (!zqCryptUUEncode(&bytes, 0, &text.blob)) fail("base64", "the library could not encode (out of memory)");
        // The text without the zero bytes that end the blob.
        uint32_t length = text.blob.size;
        while (length != 0 && text.blob.data[length - 1] == 0) --length;
        output.write(text.blob.data, length);
        if (count < buffer.size()) break;
    }
}

// DigitTable: 1 for the 64 digits of the alphabet, 0 for every other byte.
constexpr struct DigitTable {
    uint8_t isDigit[256] = {};
    constexpr DigitTable() {
        for (int ch = 0; ch < 256; ++ch) {
            isDigit[ch] = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                          ch == '+' || ch == '/';
        }
    }
} digitTable;

bool isDigit(uint8_t ch) { return digitTable.isDigit[ch] != 0; }

// TextChecker: reads the text byte by byte, keeps the digits and padding
// (the groups) and says where the text breaks the rules.
class TextChecker {
public:
    TextChecker(const std::string& name, Output& output) : name_(quoteName(name)), output_(output) {}

    void feed(const uint8_t* text, size_t count) {
        size_t i = 0;
        while (i < count) {
            // Runs of digits before any padding (whole lines, mostly) are
            // copied at once; everything else goes through `take`.
            size_t end = i;
            if (padding_ == 0 && !ended_) {
                while (end < count && isDigit(text[end])) ++end;
            }
            if (end > i) {
                groups_.append(reinterpret_cast<const char*>(text + i), end - i);
                offset_ += end - i;
                i = end;
            } else {
                take(text[i++]);
                ++offset_;
            }
        }
        // Whole groups go to the library; a group being read waits.
        if (groups_.size() >= DecodePiece) decode(groups_.size() / 4 * 4);
    }

    void finish() {
        if (groups_.size() % 4 == 1) refuse("text cut short: a last group of one character");
        if (padding_ == 1 && groups_.size() % 4 == 3) refuse("text cut short: a '=' is missing");
        decode(groups_.size());
    }

private:
    void take(uint8_t ch) {
        if (ch == '\r' || ch == '\n') {
            if (ended_) refuse("a line end after the terminating zero bytes");
            return;
        }
        if (ch == 0) {
            ended_ = true;
            return;
        }
        if (ended_) refuse(describe(ch) + " after the terminating zero bytes");
        const size_t position = groups_.size() % 4;
        if (ch == '=') {
            // "=" fills the third and fourth places of the last group, or
            // only the fourth.
            if (position < 2 || (padding_ != 0 && position == 2) || closed()) refuse("'=' out of place");
            ++padding_;
        } else if (!isDigit(ch)) {
            refuse(describe(ch) + ", not a Base64 character");
        } else if (padding_ != 0) {
            refuse(describe(ch) + " after the padding that ends the text");
        }
        groups_.push_back(static_cast<char>(ch));
    }

    bool closed() const { return padding_ != 0 && groups_.size() % 4 == 0; }

    static std::string describe(uint8_t ch) {
        static const char digits[] = "0123456789abcdef";
        if (ch >= 0x21 && ch <= 0x7e) return std::string("'") + static_cast<char>(ch) + "'";
        return std::string("byte 0x") + digits[ch >> 4] + digits[ch & 15];
    }

    [[noreturn]] void refuse(const std::string& reason) {
        fail(name_, "invalid Base64 text at offset " + std::to_string(offset_) + ": " + reason);
    }

    void decode(size_t count) {
        if (count == 0) return;
        const CryptBlob text = inputBlob(reinterpret_cast<const uint8_t*>(groups_.data()), count);
        FilledBlob bytes;
        if (!zqCryptUUDecode(&text, 0, &bytes.blob)) fail("base64", "the library could not decode (out of memory)");
        output_.write(bytes.blob.data, bytes.blob.size);
        groups_.erase(0, count);
    }

    std::string name_;
    Output& output_;
    std::string groups_;
    unsigned long long offset_ = 0;
    unsigned padding_ = 0;  // "=" characters seen
    bool ended_ = false;    // a zero byte was seen
};

int run(const ParsedOptions& options) {
    if (options.operands.size() > 1) usageFailure("base64", "one input file at most");
    const std::string name = options.operands.empty() ? "-" : options.operands[0];
    ProgressMode progress = progressMode("base64", options);
    // Text that goes to the terminal would run into the line.
    const std::string target = options.value("output", "-");
    const bool toTerminal = target == "-" && isTerminal(stdout);
    if (progress == ProgressMode::AfterASecond && toTerminal) progress = ProgressMode::Never;
    InputFile input(name, progress);
    Output output(target);
    if (!options.has("decode")) {
        encode(input, output);
    } else {
        TextChecker checker(name, output);
        std::vector<uint8_t> buffer(1 << 16);
        for (;;) {
            const size_t count = input.read(buffer.data(), buffer.size());
            checker.feed(buffer.data(), count);
            if (count < buffer.size()) break;
        }
        checker.finish();
    }
    output.commit();
    return ExitSuccess;
}

}  // namespace

const Subcommand base64Command = {
    "base64",
    "Base64 text in the library's layout (CR LF every 64 characters), or decode it (-d)",
    help,
    {{"decode", 'd', false}, {"output", 'o', true}, {"progress", 0, false}, {"no-progress", 0, false}},
    run,
};

}  // namespace zqcli

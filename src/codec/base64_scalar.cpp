// File: base64_scalar.cpp
//
// RFC 4648 §4 base64 by table lookup: two characters per lookup when
// encoding, one word per four characters when decoding. The tables are
// computed by the compiler from Base64Alphabet, so they cannot disagree
// with it. See base64_scalar.h.
#include "codec/base64_scalar.h"

#include <string.h>

#include "codec/base64.h"
#include "codec/base64_layout.h"

// The decoding table holds each output word in memory order; the word
// stores below rely on little-endian words.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the codec tables assume little-endian words");

namespace zq {
namespace {

// EncodePairs.pair[x]: the two characters of the 12-bit value x, the first
// (bits 6 to 11) in the low byte, so that a 16-bit store writes them in order.
struct EncodePairTable {
    uint16_t pair[4096];
};

constexpr EncodePairTable makeEncodePairs() {
    EncodePairTable table{};
    for (uint32_t x = 0; x < 4096; ++x) {
        table.pair[x] = static_cast<uint16_t>(static_cast<uint8_t>(Base64Alphabet[x >> 6]) |
                                              static_cast<uint8_t>(Base64Alphabet[x & 63]) << 8);
    }
    return table;
}

constexpr EncodePairTable EncodePairs = makeEncodePairs();

// DecodeWords.at[j][c]: the bits that character c, in place j of a group,
// contributes to the group's three bytes, laid out as the little-endian word
// whose bytes 0 to 2 are the output bytes in order. With the digit values
// v0..v3 the bytes are v0·4 + v1/16, (v1 mod 16)·16 + v2/4, (v2 mod 4)·64 + v3.
// A byte that is not a digit ("=" and the zero byte included) sets NotDigit
// instead, in byte 3, which no output byte comes from.
constexpr uint32_t NotDigit = 0x80000000u;

struct DecodeWordTable {
    uint32_t at[4][256];
};

constexpr DecodeWordTable makeDecodeWords() {
    DecodeWordTable table{};
    for (uint32_t j = 0; j < 4; ++j) {
        for (uint32_t c = 0; c < 256; ++c) table.at[j][c] = NotDigit;
    }
    for (uint32_t v = 0; v < 64; ++v) {
        const auto c = static_cast<uint8_t>(Base64Alphabet[v]);
        table.at[0][c] = v << 2;
        table.at[1][c] = v >> 4 | (v & 15) << 12;
        table.at[2][c] = (v >> 2) << 8 | (v & 3) << 22;
        table.at[3][c] = v << 16;
    }
    return table;
}

constexpr DecodeWordTable DecodeWords = makeDecodeWords();

// encodeWholeGroup writes the four characters of the three bytes at `in`.
inline void encodeWholeGroup(const uint8_t* in, uint8_t* out) noexcept {
    const uint32_t v = static_cast<uint32_t>(in[0]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[2];
    const uint32_t characters =
        EncodePairs.pair[v >> 12] | static_cast<uint32_t>(EncodePairs.pair[v & 0xFFF]) << 16;
    memcpy(out, &characters, 4);
}

// decodeWord: the output word of the four characters at `c`, NotDigit set
// when any of them is not a digit.
inline uint32_t decodeWord(const uint8_t* c) noexcept {
    return DecodeWords.at[0][c[0]] | DecodeWords.at[1][c[1]] | DecodeWords.at[2][c[2]] | DecodeWords.at[3][c[3]];
}

}  // namespace

void base64EncodeScalar(const uint8_t* input, uint32_t n, uint8_t* text) noexcept {
    // Complete lines: 16 whole groups and CR LF.
    for (; n >= Base64InputPerLine; n -= Base64InputPerLine) {
        for (uint32_t g = 0; g < 16; ++g) encodeWholeGroup(input + 3 * g, text + 4 * g);
        text[64] = '\r';
        text[65] = '\n';
        input += Base64InputPerLine;
        text += Base64TextPerLine;
    }

    // The last line: whole groups, then the group of the 1 or 2 bytes left.
    // It is complete, and gets its CR LF, when it holds 16 groups (46 or 47
    // bytes).
    uint32_t groups = 0;
    for (; n >= 3; n -= 3, ++groups) {
        encodeWholeGroup(input, text);
        input += 3;
        text += 4;
    }
    if (n != 0) {
        Base64EncodeGroup(input, n, text);
        text += 4;
        ++groups;
    }
    if (groups == 16) {
        text[0] = '\r';
        text[1] = '\n';
    }
}

bool base64DecodeGroupsScalar(Base64DecodeCursor& cursor, uint32_t maxGroups) noexcept {
    const uint8_t* const text = cursor.text;
    const uint32_t end = cursor.end;
    uint32_t position = cursor.position;
    uint8_t* const out = cursor.out;
    uint32_t count = cursor.count;
    // Blanks behind a group are skipped only when the next group turns out
    // not to be four digits, which in the encoder's text is once a line.
    bool skipPending = false;

    while (maxGroups != 0) {
        // The common case: groups of four digits with at least one more text
        // byte behind them, two at a time while they last. With r text bytes
        // left from `position`, count ≤ 3·position / 4 (base64_cursor.h) and
        // the block holds 3·(position + r + 1) / 4, so r ≥ 9 leaves room for
        // count + 7 bytes and r ≥ 5 for count + 4: each group's result is
        // stored as a whole word, its fourth byte landing where the next
        // group writes or outside the output's size.
        while (end - position >= 9 && maxGroups >= 2) {
            const uint32_t first = decodeWord(text + position);
            const uint32_t second = decodeWord(text + position + 4);
            if (((first | second) & NotDigit) != 0) break;
            memcpy(out + count, &first, 4);
            memcpy(out + count + 3, &second, 4);
            count += 6;
            position += 8;
            maxGroups -= 2;
            skipPending = true;
        }
        if (end - position >= 5) {
            const uint32_t word = decodeWord(text + position);
            if ((word & NotDigit) == 0) {
                memcpy(out + count, &word, 4);
                count += 3;
                position += 4;
                skipPending = true;
                --maxGroups;
                continue;
            }
        }
        if (skipPending) {
            skipPending = false;
            const uint32_t next = base64SkipBlanks(text, end, position);
            if (next != position) {
                position = next;
                continue;
            }
        }

        // Everything else goes by the group rules. The text ends at a zero
        // byte or at the end of the blob.
        if (position >= end || text[position] == 0) {
            cursor.count = count;
            return true;
        }
        uint32_t present = 1;
        while (present < 4 && present < end - position && text[position + present] != 0) ++present;

        uint32_t k = 0;
        if (present == 4) {
            k = Base64DecodeGroup(text + position, out + count);
        } else if (present >= 2) {
            // A group cut short by the end of the text: two or three digits
            // read as if "=" padded them (a single one holds no whole byte).
            const uint8_t group[4] = {text[position], text[position + 1],
                                      present == 3 ? text[position + 2] : uint8_t{'='}, '='};
            k = Base64DecodeGroup(group, out + count);
        }
        count += k;
        if (k < 3) {
            cursor.count = count;
            return true;
        }
        position += 4;
        skipPending = true;
        --maxGroups;
    }

    cursor.position = skipPending ? base64SkipBlanks(text, end, position) : position;
    cursor.count = count;
    return false;
}

}  // namespace zq

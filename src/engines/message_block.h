// File: message_block.h
//
// The pending block that both digest engines keep between feeds, and the
// steps of feeding and finishing that do not depend on the algorithm: the
// 64-bit bit counter, packing bytes into message words as they arrive,
// topping up the pending block, and the padding (RFC 1321 §3.1, FIPS 180 §4).
// The engines differ only in the word order, which `order` selects, and in
// where the length goes, which they write themselves.
//
// `Context` is Md5Context or Sha0Context: fields bitCountLow, bitCountHigh,
// block[16] and pendingBytes, with the invariants stated in md5.h.
#pragma once

#include <stdint.h>

#include "engines/byte_order.h"

namespace zq {

// laneShift is the bit position of message byte `k` (counted from the block's
// start) inside its word: bits 8(k mod 4) upward for little-endian words,
// 24 - 8(k mod 4) upward for big-endian ones.
template <ByteOrder order>
constexpr uint32_t laneShift(uint32_t k) noexcept {
    return order == ByteOrder::little ? 8 * (k & 3) : 24 - 8 * (k & 3);
}

// packBytes appends `count` bytes to `words`, a block of message words that
// already holds `position` bytes, so that the block then holds position +
// count bytes (at most 64). Message byte k goes into word k / 4 at
// laneShift(k). A byte joins the partly filled word it belongs to; a word that
// a byte starts is set from that byte alone, so the bits of the last word
// beyond the last byte are 0. Words beyond the last byte are not written.
template <ByteOrder order>
inline void packBytes(uint32_t* words, uint32_t position, const uint8_t* bytes,
                      uint32_t count) noexcept {
    // Complete the partly filled word, one byte at a time.
    for (; count != 0 && (position & 3) != 0; --count, ++position, ++bytes) {
        words[position >> 2] |= static_cast<uint32_t>(*bytes) << laneShift<order>(position);
    }
    // Whole words.
    for (; count >= 4; count -= 4, position += 4, bytes += 4) {
        words[position >> 2] = load32<order>(bytes);
    }
    // The last one to three bytes start a new word; its other bits are 0.
    if (count != 0) {
        uint32_t word = 0;
        for (uint32_t i = 0; i < count; ++i) {
            word |= static_cast<uint32_t>(bytes[i]) << laneShift<order>(i);
        }
        words[position >> 2] = word;
    }
}

// addBitCount adds 8 * `count` to the 64-bit counter bitCountHigh:bitCountLow.
// 8 * count wraps modulo 2^32 into the low word, where a carry shows as a
// result smaller than before; the bits of 8 * count beyond 32 are count >> 29.
// The 64-bit count is thereby exact for any 32-bit count.
template <typename Context>
inline void addBitCount(Context& context, uint32_t count) noexcept {
    const uint32_t low = context.bitCountLow + (count << 3);
    if (low < context.bitCountLow) ++context.bitCountHigh;
    context.bitCountLow = low;
    context.bitCountHigh += count >> 29;
}

// topUpPendingBlock is the first phase of a feed. With bytes pending, it packs
// as many of the `count` bytes at `bytes` as the block has room for; when that
// fills the block it calls `compressBlock` (which compresses context.block) and
// empties it. `bytes` and `count` are advanced past what was taken. Nothing
// happens when no bytes are pending.
template <ByteOrder order, typename Context, typename CompressBlock>
inline void topUpPendingBlock(Context& context, const uint8_t*& bytes, uint32_t& count,
                              CompressBlock compressBlock) noexcept {
    if (context.pendingBytes == 0) return;
    const uint32_t room = 64 - context.pendingBytes;
    const uint32_t taken = count < room ? count : room;
    packBytes<order>(context.block, context.pendingBytes, bytes, taken);
    bytes += taken;
    count -= taken;
    if (taken < room) {
        context.pendingBytes += taken;
        return;
    }
    compressBlock();
    context.pendingBytes = 0;
}

// keepRemainder is the last phase of a feed: the `count` (below 64) bytes at
// `bytes` become the pending block, from word 0 on. The block must be empty.
template <ByteOrder order, typename Context>
inline void keepRemainder(Context& context, const uint8_t* bytes, uint32_t count) noexcept {
    if (count == 0) return;
    packBytes<order>(context.block, 0, bytes, count);
    context.pendingBytes = count;
}

// padPendingBlock is the first part of finishing, steps 1 and 2:
//  1. The byte 0x80 goes to byte position p = pendingBytes. The bits beyond
//     the pending bytes are 0, so it can be or-ed in; a word that it starts
//     (p a multiple of 4) is set to it outright, whatever the word held.
//  2. Zeros follow through word 13. From p = 56 on the 0x80 lies in word 14 or
//     15 and the length no longer fits: the words after it through word 15
//     are zeroed, `compressBlock` is called, and words 0 to 13 are zeroed.
// The caller then writes the length into words 14 and 15 and compresses.
template <ByteOrder order, typename Context, typename CompressBlock>
inline void padPendingBlock(Context& context, CompressBlock compressBlock) noexcept {
    uint32_t* block = context.block;
    const uint32_t p = context.pendingBytes;
    const uint32_t padWord = p >> 2;
    const uint32_t padBits = uint32_t{0x80} << laneShift<order>(p);
    block[padWord] = (p & 3) == 0 ? padBits : block[padWord] | padBits;

    if (p >= 56) {
        for (uint32_t i = padWord + 1; i < 16; ++i) block[i] = 0;
        compressBlock();
        for (uint32_t i = 0; i < 14; ++i) block[i] = 0;
    } else {
        for (uint32_t i = padWord + 1; i < 14; ++i) block[i] = 0;
    }
}

}  // namespace zq

// File: message_block.h
//
// The pending block that both digest engines keep between feeds, and the
// steps of feeding and finishing that do not depend on the algorithm: the
// 64-bit bit counter, packing bytes into message words as they arrive,
// topping up the pending block, and the padding (RFC 1321 §3.1, FIPS 180 §4).
// The engines differ only in the word order, which `order` selects, and in
// the order of the length words, which they pass.
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

// padMessage writes the last one or two blocks of the message whose pending
// bytes `context` holds into `blocks`, and returns how many (RFC 1321 §3.1,
// §3.2; FIPS 180 §4): the p = pendingBytes pending bytes, the byte 0x80 at
// byte position p, zeros, and `lengthWord14`, `lengthWord15` (the bit count,
// in the order the engine writes it) as words 14 and 15 of the last block.
// From p = 56 on the length no longer fits after the 0x80, and a second block
// of zeros and the length follows. The context is only read, so a digest can
// be taken of the message so far and the message fed on afterwards.
// The words holding pending bytes (whose bits beyond the last byte are
// already 0) are copied; the stale ones after them are not read.
template <ByteOrder order, typename Context>
inline uint32_t padMessage(const Context& context, uint32_t (&blocks)[32], uint32_t lengthWord14,
                           uint32_t lengthWord15) noexcept {
    const uint32_t p = context.pendingBytes;
    const uint32_t pendingWords = (p + 3) >> 2;
    for (uint32_t i = 0; i < 16; ++i) blocks[i] = i < pendingWords ? context.block[i] : 0;
    blocks[p >> 2] |= uint32_t{0x80} << laneShift<order>(p);

    if (p < 56) {
        blocks[14] = lengthWord14;
        blocks[15] = lengthWord15;
        return 1;
    }
    for (uint32_t i = 16; i < 30; ++i) blocks[i] = 0;
    blocks[30] = lengthWord14;
    blocks[31] = lengthWord15;
    return 2;
}

}  // namespace zq

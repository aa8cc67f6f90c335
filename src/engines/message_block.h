// File: message_block.h
//
// The pending block that both digest engines keep between feeds, and the
// steps of feeding and finishing that do not depend on the algorithm: the
// 64-bit bit counter, packing bytes into message words as they arrive,
// topping up the pending block, and the padding (RFC 1321 §3.1, FIPS 180 §4).
// The engines differ only in the word order, which `order` selects (and
// with it the order of the length words and of the digest's bytes).
//
// `Context` is Md5Context or Sha0Context: fields chain, bitCountLow,
// bitCountHigh, block[16] and pendingBytes, with the invariants stated in
// md5.h, and a static compress(context, words, blockCount).
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
// byte position p, zeros, and the 64-bit bit count as words 14 and 15 of the
// last block, in the word order that goes with `order`: low word first with
// little-endian words, high word first with big-endian ones. From p = 56 on
// the count no longer fits after the 0x80, and a second block of zeros and
// the count follows. The context is only read, so a digest can be taken of
// the message so far and the message fed on afterwards. The words holding
// pending bytes (whose bits beyond the last byte are already 0) are copied;
// the stale ones after them are not read.
template <ByteOrder order, typename Context>
inline uint32_t padMessage(const Context& context, uint32_t (&blocks)[32]) noexcept {
    const uint32_t p = context.pendingBytes;
    const uint32_t pendingWords = (p + 3) >> 2;
    for (uint32_t i = 0; i < 16; ++i) blocks[i] = i < pendingWords ? context.block[i] : 0;
    blocks[p >> 2] |= uint32_t{0x80} << laneShift<order>(p);

    const bool little = order == ByteOrder::little;
    const uint32_t first = little ? context.bitCountLow : context.bitCountHigh;
    const uint32_t second = little ? context.bitCountHigh : context.bitCountLow;
    if (p < 56) {
        blocks[14] = first;
        blocks[15] = second;
        return 1;
    }
    for (uint32_t i = 16; i < 30; ++i) blocks[i] = 0;
    blocks[30] = first;
    blocks[31] = second;
    return 2;
}

// finishMessage takes the last steps of finishing the message that `message`
// holds with the chaining words of `into`, which may be `message` itself
// (the last blocks are built before any word changes): the padding and the
// bit count (padMessage), the compression of those one or two blocks into
// `into` (Context::compress), and the chaining words written to `digest` in
// the byte order `order`.
template <ByteOrder order, typename Context>
inline void finishMessage(uint8_t* digest, const Context& message, Context& into) noexcept {
    alignas(16) uint32_t blocks[32];
    const uint32_t count = padMessage<order>(message, blocks);
    Context::compress(into, blocks, count);
    constexpr uint32_t chainWords = sizeof(Context::chain) / sizeof(uint32_t);
    for (uint32_t i = 0; i < chainWords; ++i) store32<order>(digest + 4 * i, into.chain[i]);
}

// messageDigestSoFar writes to `digest` what finishing `context` would give,
// through a context of its own that holds only the chaining words
// (compression reads and writes nothing else), and leaves `context` as it
// is.
template <ByteOrder order, typename Context>
inline void messageDigestSoFar(uint8_t* digest, const Context& context) noexcept {
    Context last;
    constexpr uint32_t chainWords = sizeof(Context::chain) / sizeof(uint32_t);
    for (uint32_t i = 0; i < chainWords; ++i) last.chain[i] = context.chain[i];
    finishMessage<order>(digest, context, last);
}

}  // namespace zq

// File: sha0.cpp
//
// SHA-0, FIPS PUB 180 (1993): padding, length, the 80 steps of the
// compression function and the digest byte order. See sha0.h.
#include "engines/sha0.h"

#include "engines/byte_order.h"
#include "engines/message_block.h"
#include "engines/rotate.h"

namespace zq {
namespace {

// One step of FIPS 180 §7, with the five working words renamed instead of
// moved: TEMP := (A <<< 5) + f(B, C, D) + E + W[t] + K(t) becomes the new A in
// the slot of E, and B is rotated by 30 in place. The next step passes the
// words one slot on: (e, a, b, c, d). `wk` is W[t] + K(t).

// f = (B and C) or (not B and D), written as D xor (B and (C xor D)).
inline void stepChoose(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e,
                       uint32_t wk) noexcept {
    e += wk + (d ^ (b & (c ^ d))) + rotateLeft(a, 5);
    b = rotateLeft(b, 30);
}

// f = B xor C xor D.
inline void stepParity(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e,
                       uint32_t wk) noexcept {
    e += wk + (b ^ c ^ d) + rotateLeft(a, 5);
    b = rotateLeft(b, 30);
}

// f = (B and C) or (B and D) or (C and D), written as (B and C) or (D and
// (B or C)): the majority of the three bits.
inline void stepMajority(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e,
                         uint32_t wk) noexcept {
    e += wk + ((b & c) | (d & (b | c))) + rotateLeft(a, 5);
    b = rotateLeft(b, 30);
}

// expand<t> computes W[t] = W[t-3] xor W[t-8] xor W[t-14] xor W[t-16] for
// t >= 16 in the 16-word window W (W[t] replaces W[t-16] in slot t mod 16).
// This is where SHA-1 would rotate the value left by one bit; SHA-0 does not.
template <int t>
inline uint32_t expand(uint32_t (&W)[16]) noexcept {
    static_assert(t >= 16 && t < 80);
    W[t & 15] ^= W[(t - 3) & 15] ^ W[(t - 8) & 15] ^ W[(t - 14) & 15];
    return W[t & 15];
}

// H0 to H4 of FIPS 180.
constexpr uint32_t initialChain[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};

}  // namespace

Sha0Context& Sha0Context::begin(Sha0Context& context) noexcept {
    for (int i = 0; i < 5; ++i) context.chain[i] = initialChain[i];
    context.bitCountLow = 0;
    context.bitCountHigh = 0;
    context.pendingBytes = 0;
    return context;
}

void Sha0Context::compress(Sha0Context& context, const uint32_t* words, uint32_t blockCount) noexcept {
    do {
        uint32_t W[16];
        for (int t = 0; t < 16; ++t) W[t] = words[t];
        uint32_t a = context.chain[0];
        uint32_t b = context.chain[1];
        uint32_t c = context.chain[2];
        uint32_t d = context.chain[3];
        uint32_t e = context.chain[4];

        // The 80 steps, each with its round function and K(t) in place.
        // clang-format off
        // t = 0 to 19: f = (B and C) or (not B and D), K = 0x5a827999.
        stepChoose(a, b, c, d, e,          W[ 0] + 0x5a827999);
        stepChoose(e, a, b, c, d,          W[ 1] + 0x5a827999);
        stepChoose(d, e, a, b, c,          W[ 2] + 0x5a827999);
        stepChoose(c, d, e, a, b,          W[ 3] + 0x5a827999);
        stepChoose(b, c, d, e, a,          W[ 4] + 0x5a827999);
        stepChoose(a, b, c, d, e,          W[ 5] + 0x5a827999);
        stepChoose(e, a, b, c, d,          W[ 6] + 0x5a827999);
        stepChoose(d, e, a, b, c,          W[ 7] + 0x5a827999);
        stepChoose(c, d, e, a, b,          W[ 8] + 0x5a827999);
        stepChoose(b, c, d, e, a,          W[ 9] + 0x5a827999);
        stepChoose(a, b, c, d, e,          W[10] + 0x5a827999);
        stepChoose(e, a, b, c, d,          W[11] + 0x5a827999);
        stepChoose(d, e, a, b, c,          W[12] + 0x5a827999);
        stepChoose(c, d, e, a, b,          W[13] + 0x5a827999);
        stepChoose(b, c, d, e, a,          W[14] + 0x5a827999);
        stepChoose(a, b, c, d, e,          W[15] + 0x5a827999);
        stepChoose(e, a, b, c, d,  expand<16>(W) + 0x5a827999);
        stepChoose(d, e, a, b, c,  expand<17>(W) + 0x5a827999);
        stepChoose(c, d, e, a, b,  expand<18>(W) + 0x5a827999);
        stepChoose(b, c, d, e, a,  expand<19>(W) + 0x5a827999);

        // t = 20 to 39: f = B xor C xor D, K = 0x6ed9eba1.
        stepParity(a, b, c, d, e,  expand<20>(W) + 0x6ed9eba1);
        stepParity(e, a, b, c, d,  expand<21>(W) + 0x6ed9eba1);
        stepParity(d, e, a, b, c,  expand<22>(W) + 0x6ed9eba1);
        stepParity(c, d, e, a, b,  expand<23>(W) + 0x6ed9eba1);
        stepParity(b, c, d, e, a,  expand<24>(W) + 0x6ed9eba1);
        stepParity(a, b, c, d, e,  expand<25>(W) + 0x6ed9eba1);
        stepParity(e, a, b, c, d,  expand<26>(W) + 0x6ed9eba1);
        stepParity(d, e, a, b, c,  expand<27>(W) + 0x6ed9eba1);
        stepParity(c, d, e, a, b,  expand<28>(W) + 0x6ed9eba1);
        stepParity(b, c, d, e, a,  expand<29>(W) + 0x6ed9eba1);
        stepParity(a, b, c, d, e,  expand<30>(W) + 0x6ed9eba1);
        stepParity(e, a, b, c, d,  expand<31>(W) + 0x6ed9eba1);
        stepParity(d, e, a, b, c,  expand<32>(W) + 0x6ed9eba1);
        stepParity(c, d, e, a, b,  expand<33>(W) + 0x6ed9eba1);
        stepParity(b, c, d, e, a,  expand<34>(W) + 0x6ed9eba1);
        stepParity(a, b, c, d, e,  expand<35>(W) + 0x6ed9eba1);
        stepParity(e, a, b, c, d,  expand<36>(W) + 0x6ed9eba1);
        stepParity(d, e, a, b, c,  expand<37>(W) + 0x6ed9eba1);
        stepParity(c, d, e, a, b,  expand<38>(W) + 0x6ed9eba1);
        stepParity(b, c, d, e, a,  expand<39>(W) + 0x6ed9eba1);

        // t = 40 to 59: f = (B and C) or (B and D) or (C and D), K = 0x8f1bbcdc.
        stepMajority(a, b, c, d, e,  expand<40>(W) + 0x8f1bbcdc);
        stepMajority(e, a, b, c, d,  expand<41>(W) + 0x8f1bbcdc);
        stepMajority(d, e, a, b, c,  expand<42>(W) + 0x8f1bbcdc);
        stepMajority(c, d, e, a, b,  expand<43>(W) + 0x8f1bbcdc);
        stepMajority(b, c, d, e, a,  expand<44>(W) + 0x8f1bbcdc);
        stepMajority(a, b, c, d, e,  expand<45>(W) + 0x8f1bbcdc);
        stepMajority(e, a, b, c, d,  expand<46>(W) + 0x8f1bbcdc);
        stepMajority(d, e, a, b, c,  expand<47>(W) + 0x8f1bbcdc);
        stepMajority(c, d, e, a, b,  expand<48>(W) + 0x8f1bbcdc);
        stepMajority(b, c, d, e, a,  expand<49>(W) + 0x8f1bbcdc);
        stepMajority(a, b, c, d, e,  expand<50>(W) + 0x8f1bbcdc);
        stepMajority(e, a, b, c, d,  expand<51>(W) + 0x8f1bbcdc);
        stepMajority(d, e, a, b, c,  expand<52>(W) + 0x8f1bbcdc);
        stepMajority(c, d, e, a, b,  expand<53>(W) + 0x8f1bbcdc);
        stepMajority(b, c, d, e, a,  expand<54>(W) + 0x8f1bbcdc);
        stepMajority(a, b, c, d, e,  expand<55>(W) + 0x8f1bbcdc);
        stepMajority(e, a, b, c, d,  expand<56>(W) + 0x8f1bbcdc);
        stepMajority(d, e, a, b, c,  expand<57>(W) + 0x8f1bbcdc);
        stepMajority(c, d, e, a, b,  expand<58>(W) + 0x8f1bbcdc);
        stepMajority(b, c, d, e, a,  expand<59>(W) + 0x8f1bbcdc);

        // t = 60 to 79: f = B xor C xor D, K = 0xca62c1d6.
        stepParity(a, b, c, d, e,  expand<60>(W) + 0xca62c1d6);
        stepParity(e, a, b, c, d,  expand<61>(W) + 0xca62c1d6);
        stepParity(d, e, a, b, c,  expand<62>(W) + 0xca62c1d6);
        stepParity(c, d, e, a, b,  expand<63>(W) + 0xca62c1d6);
        stepParity(b, c, d, e, a,  expand<64>(W) + 0xca62c1d6);
        stepParity(a, b, c, d, e,  expand<65>(W) + 0xca62c1d6);
        stepParity(e, a, b, c, d,  expand<66>(W) + 0xca62c1d6);
        stepParity(d, e, a, b, c,  expand<67>(W) + 0xca62c1d6);
        stepParity(c, d, e, a, b,  expand<68>(W) + 0xca62c1d6);
        stepParity(b, c, d, e, a,  expand<69>(W) + 0xca62c1d6);
        stepParity(a, b, c, d, e,  expand<70>(W) + 0xca62c1d6);
        stepParity(e, a, b, c, d,  expand<71>(W) + 0xca62c1d6);
        stepParity(d, e, a, b, c,  expand<72>(W) + 0xca62c1d6);
        stepParity(c, d, e, a, b,  expand<73>(W) + 0xca62c1d6);
        stepParity(b, c, d, e, a,  expand<74>(W) + 0xca62c1d6);
        stepParity(a, b, c, d, e,  expand<75>(W) + 0xca62c1d6);
        stepParity(e, a, b, c, d,  expand<76>(W) + 0xca62c1d6);
        stepParity(d, e, a, b, c,  expand<77>(W) + 0xca62c1d6);
        stepParity(c, d, e, a, b,  expand<78>(W) + 0xca62c1d6);
        stepParity(b, c, d, e, a,  expand<79>(W) + 0xca62c1d6);
        // clang-format on

        context.chain[0] += a;
        context.chain[1] += b;
        context.chain[2] += c;
        context.chain[3] += d;
        context.chain[4] += e;
        words += 16;
    } while (--blockCount != 0);
}

void Sha0Context::transformBlock(Sha0Context& context, const uint8_t bytes[64]) noexcept {
    uint32_t words[16];
    for (int i = 0; i < 16; ++i) words[i] = loadBig32(bytes + 4 * i);
    compress(context, words, 1);
}

void Sha0Context::feed(Sha0Context& context, const uint8_t* bytes, uint32_t count) noexcept {
    if (count == 0) return;
    addBitCount(context, count);
    auto compressBlock = [&context] { compress(context, context.block, 1); };

    // Complete the pending block, if there is one.
    topUpPendingBlock<ByteOrder::big>(context, bytes, count, compressBlock);

    // Whole blocks, one at a time, converted into `block` on the way.
    for (; count >= 64; count -= 64, bytes += 64) {
        for (int i = 0; i < 16; ++i) context.block[i] = loadBig32(bytes + 4 * i);
        compressBlock();
    }

    // The remainder starts a new pending block.
    keepRemainder<ByteOrder::big>(context, bytes, count);
}

void Sha0Context::finish(uint8_t digest[20], Sha0Context& context) noexcept {
    // 1 to 3. The 0x80 byte, the zeros and the length in bits, high word
    // first, in one or two blocks; 4. those blocks; 5. H0 to H4, each most
    // significant byte first.
    finishMessage<ByteOrder::big>(digest, context, context);

    // 6. Nothing else is reset or wiped.
    context.pendingBytes = 0;
}

void Sha0Context::digestSoFar(uint8_t digest[20], const Sha0Context& context) noexcept {
    messageDigestSoFar<ByteOrder::big>(digest, context);
}

}  // namespace zq

// File: md5.cpp
//
// MD5, RFC 1321 (§3.1 to §3.5): padding, length, the four rounds of 16 steps,
// and the digest byte order. See md5.h.
#include "engines/md5.h"

#include "engines/byte_order.h"
#include "engines/message_block.h"
#include "engines/rotate.h"

namespace zq {
namespace {

// The packed block and the caller's bytes are read by the same little-endian
// load, which is only a plain load on a little-endian host.
static_assert(hostIsLittleEndian, "the packed block is read as the message's little-endian words");

// The four step forms of RFC 1321 §3.4: a := b + ((a + f(b, c, d) + X[k] + T[i]) <<< s).
//
// `b` is the word the previous step produced, so the chain from one step to
// the next runs through f's use of `b`, the addition, the rotation and the
// final addition of `b`. Everything else is taken off that chain: X[k] + T[i]
// (passed as `xt`) and the parts of f that do not involve `b` are added to `a`
// first.

// F(b, c, d) = (b and c) or (not b and d), written as d xor (b and (c xor d)):
// the same bit choice, with c xor d ready before `b` is.
template <int s>
inline void stepF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) noexcept {
    a += xt;
    a += d ^ (b & (c ^ d));
    a = rotateLeft(a, s) + b;
}

// G(b, c, d) = (b and d) or (c and not d). The two terms never share a set
// bit, so their or is their sum, and the term without `b` is added early:
// after `b` arrives only one and, one addition, the rotation and the last
// addition remain.
template <int s>
inline void stepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) noexcept {
    a += xt;
    a += c & ~d;
    a += b & d;
    a = rotateLeft(a, s) + b;
}

// H(b, c, d) = b xor c xor d, with c xor d formed before `b` arrives.
template <int s>
inline void stepH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) noexcept {
    a += xt;
    a += b ^ (c ^ d);
    a = rotateLeft(a, s) + b;
}

// I(b, c, d) = c xor (b or not d), with not d formed before `b` arrives.
template <int s>
inline void stepI(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) noexcept {
    a += xt;
    a += c ^ (b | ~d);
    a = rotateLeft(a, s) + b;
}

// The initial chaining words A, B, C, D (RFC 1321 §3.3) as 32-bit numbers.
constexpr uint32_t initialChain[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

}  // namespace

Md5Context& Md5Context::begin(Md5Context& context) noexcept {
    for (int i = 0; i < 4; ++i) context.chain[i] = initialChain[i];
    context.bitCountLow = 0;
    context.bitCountHigh = 0;
    context.pendingBytes = 0;
    return context;
}

void Md5Context::compress(Md5Context& context, const void* words, uint32_t blockCount) noexcept {
    const auto* bytes = static_cast<const uint8_t*>(words);
    uint32_t A = context.chain[0];
    uint32_t B = context.chain[1];
    uint32_t C = context.chain[2];
    uint32_t D = context.chain[3];
    do {
        uint32_t X[16];
        for (int k = 0; k < 16; ++k) X[k] = loadLittle32(bytes + 4 * k);
        uint32_t a = A, b = B, c = C, d = D;

        // The 64 steps with their shift, message word and T[i] (the integer
        // part of 2^32 |sin i|, RFC 1321 §3.4) written in place.
        // clang-format off
        // Round 1: F, X[j] at step j.
        stepF< 7>(a, b, c, d, X[ 0] + 0xd76aa478);
        stepF<12>(d, a, b, c, X[ 1] + 0xe8c7b756);
        stepF<17>(c, d, a, b, X[ 2] + 0x242070db);
        stepF<22>(b, c, d, a, X[ 3] + 0xc1bdceee);
        stepF< 7>(a, b, c, d, X[ 4] + 0xf57c0faf);
        stepF<12>(d, a, b, c, X[ 5] + 0x4787c62a);
        stepF<17>(c, d, a, b, X[ 6] + 0xa8304613);
        stepF<22>(b, c, d, a, X[ 7] + 0xfd469501);
        stepF< 7>(a, b, c, d, X[ 8] + 0x698098d8);
        stepF<12>(d, a, b, c, X[ 9] + 0x8b44f7af);
        stepF<17>(c, d, a, b, X[10] + 0xffff5bb1);
        stepF<22>(b, c, d, a, X[11] + 0x895cd7be);
        stepF< 7>(a, b, c, d, X[12] + 0x6b901122);
        stepF<12>(d, a, b, c, X[13] + 0xfd987193);
        stepF<17>(c, d, a, b, X[14] + 0xa679438e);
        stepF<22>(b, c, d, a, X[15] + 0x49b40821);

        // Round 2: G, X[(1 + 5j) mod 16] at step j.
        stepG< 5>(a, b, c, d, X[ 1] + 0xf61e2562);
        stepG< 9>(d, a, b, c, X[ 6] + 0xc040b340);
        stepG<14>(c, d, a, b, X[11] + 0x265e5a51);
        stepG<20>(b, c, d, a, X[ 0] + 0xe9b6c7aa);
        stepG< 5>(a, b, c, d, X[ 5] + 0xd62f105d);
        stepG< 9>(d, a, b, c, X[10] + 0x02441453);
        stepG<14>(c, d, a, b, X[15] + 0xd8a1e681);
        stepG<20>(b, c, d, a, X[ 4] + 0xe7d3fbc8);
        stepG< 5>(a, b, c, d, X[ 9] + 0x21e1cde6);
        stepG< 9>(d, a, b, c, X[14] + 0xc33707d6);
        stepG<14>(c, d, a, b, X[ 3] + 0xf4d50d87);
        stepG<20>(b, c, d, a, X[ 8] + 0x455a14ed);
        stepG< 5>(a, b, c, d, X[13] + 0xa9e3e905);
        stepG< 9>(d, a, b, c, X[ 2] + 0xfcefa3f8);
        stepG<14>(c, d, a, b, X[ 7] + 0x676f02d9);
        stepG<20>(b, c, d, a, X[12] + 0x8d2a4c8a);

        // Round 3: H, X[(5 + 3j) mod 16] at step j.
        stepH< 4>(a, b, c, d, X[ 5] + 0xfffa3942);
        stepH<11>(d, a, b, c, X[ 8] + 0x8771f681);
        stepH<16>(c, d, a, b, X[11] + 0x6d9d6122);
        stepH<23>(b, c, d, a, X[14] + 0xfde5380c);
        stepH< 4>(a, b, c, d, X[ 1] + 0xa4beea44);
        stepH<11>(d, a, b, c, X[ 4] + 0x4bdecfa9);
        stepH<16>(c, d, a, b, X[ 7] + 0xf6bb4b60);
        stepH<23>(b, c, d, a, X[10] + 0xbebfbc70);
        stepH< 4>(a, b, c, d, X[13] + 0x289b7ec6);
        stepH<11>(d, a, b, c, X[ 0] + 0xeaa127fa);
        stepH<16>(c, d, a, b, X[ 3] + 0xd4ef3085);
        stepH<23>(b, c, d, a, X[ 6] + 0x04881d05);
        stepH< 4>(a, b, c, d, X[ 9] + 0xd9d4d039);
        stepH<11>(d, a, b, c, X[12] + 0xe6db99e5);
        stepH<16>(c, d, a, b, X[15] + 0x1fa27cf8);
        stepH<23>(b, c, d, a, X[ 2] + 0xc4ac5665);

        // Round 4: I, X[7j mod 16] at step j.
        stepI< 6>(a, b, c, d, X[ 0] + 0xf4292244);
        stepI<10>(d, a, b, c, X[ 7] + 0x432aff97);
        stepI<15>(c, d, a, b, X[14] + 0xab9423a7);
        stepI<21>(b, c, d, a, X[ 5] + 0xfc93a039);
        stepI< 6>(a, b, c, d, X[12] + 0x655b59c3);
        stepI<10>(d, a, b, c, X[ 3] + 0x8f0ccc92);
        stepI<15>(c, d, a, b, X[10] + 0xffeff47d);
        stepI<21>(b, c, d, a, X[ 1] + 0x85845dd1);
        stepI< 6>(a, b, c, d, X[ 8] + 0x6fa87e4f);
        stepI<10>(d, a, b, c, X[15] + 0xfe2ce6e0);
        stepI<15>(c, d, a, b, X[ 6] + 0xa3014314);
        stepI<21>(b, c, d, a, X[13] + 0x4e0811a1);
        stepI< 6>(a, b, c, d, X[ 4] + 0xf7537e82);
        stepI<10>(d, a, b, c, X[11] + 0xbd3af235);
        stepI<15>(c, d, a, b, X[ 2] + 0x2ad7d2bb);
        stepI<21>(b, c, d, a, X[ 9] + 0xeb86d391);
        // clang-format on

        A += a;
        B += b;
        C += c;
        D += d;
        bytes += 64;
    } while (--blockCount != 0);
    context.chain[0] = A;
    context.chain[1] = B;
    context.chain[2] = C;
    context.chain[3] = D;
}

void Md5Context::transformBlock(Md5Context& context, const uint8_t bytes[64]) noexcept {
    compress(context, bytes, 1);
}

void Md5Context::feed(Md5Context& context, const uint8_t* bytes, uint32_t count) noexcept {
    if (count == 0) return;
    addBitCount(context, count);
    auto compressBlock = [&context] { compress(context, context.block, 1); };

    // Complete the pending block, if there is one.
    topUpPendingBlock<ByteOrder::little>(context, bytes, count, compressBlock);

    // Whole blocks, straight from the caller's bytes, in one call.
    const uint32_t wholeBlocks = count >> 6;
    if (wholeBlocks != 0) {
        compress(context, bytes, wholeBlocks);
        bytes += wholeBlocks << 6;
        count &= 63;
    }

    // The remainder starts a new pending block.
    keepRemainder<ByteOrder::little>(context, bytes, count);
}

void Md5Context::finish(uint8_t digest[16], Md5Context& context) noexcept {
    // 1 to 3. The 0x80 byte, the zeros and the length in bits, low word
    // first (RFC 1321 §3.2), in one or two blocks; 4. those blocks; 5. A, B,
    // C, D, each least significant byte first.
    finishMessage<ByteOrder::little>(digest, context, context);

    // 6. Nothing else is reset or wiped.
    context.pendingBytes = 0;
}

void Md5Context::digestSoFar(uint8_t digest[16], const Md5Context& context) noexcept {
    messageDigestSoFar<ByteOrder::little>(digest, context);
}

}  // namespace zq

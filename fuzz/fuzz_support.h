// What the fuzz targets share: a reader that takes fields from the input
// (zeros once it runs out), GMP values to and from BigInt, and the heap-fault
// driver that runs each input once with an allocation failing and once
// without, checking that no run leaves a heap block behind.
#pragma once

#include <gmp.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "bignum/bigint.h"
#include "frame/heap_probe.h"
#include "zqcrypt.h"

namespace fuzz {

// Reader: fields taken from the front of the input, in order.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), left_(size) {}

    size_t left() const { return left_; }
    bool empty() const { return left_ == 0; }

    uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *data_++;
    }
    uint32_t u16() { return byte() | uint32_t{byte()} << 8; }
    uint32_t u32() { return u16() | u16() << 16; }

    // bytes: up to `count` bytes (fewer at the end of the input).
    std::vector<uint8_t> bytes(size_t count) {
        if (count > left_) count = left_;
        std::vector<uint8_t> out(data_, data_ + count);
        data_ += count, left_ -= count;
        return out;
    }

private:
    const uint8_t* data_;
    size_t left_;
};

// Check: stops the run, so that libFuzzer reports the input, when `ok` is false.
inline void check(bool ok) {
    if (!ok) abort();
}

// Mpz: an mpz_t that clears itself.
struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    explicit Mpz(long x) { mpz_init_set_si(v, x); }
    Mpz(const Mpz& other) { mpz_init_set(v, other.v); }
    Mpz& operator=(const Mpz&) = delete;
    ~Mpz() { mpz_clear(v); }
    operator mpz_ptr() { return v; }
    operator mpz_srcptr() const { return v; }
    // For GMP's macros (mpz_sgn, mpz_odd_p, ...), which read fields through ->.
    mpz_ptr operator->() { return v; }
    mpz_srcptr operator->() const { return v; }
};

// fromBytes: the value of `bytes` read least significant byte first, negated
// when `negative` (GMP has no negative zero; BigInt keeps the flag).
inline void mpzFromBytes(mpz_ptr out, const std::vector<uint8_t>& bytes, bool negative) {
    mpz_import(out, bytes.size(), -1, 1, 0, 0, bytes.data());
    if (negative) mpz_neg(out, out);
}

inline zq::BigInt bigFromBytes(const std::vector<uint8_t>& bytes, bool negative) {
    std::vector<uint8_t> padded(bytes);
    padded.resize((bytes.size() + 3) / 4 * 4, 0);
    zq::BigInt value(0u);
    value.fromWords(padded.data(), static_cast<uint32_t>(padded.size() / 4));
    value.negative = negative ? 1 : 0;
    return value;
}

inline zq::BigInt bigFromMpz(mpz_srcptr x) {
    std::vector<uint8_t> bytes((mpz_sizeinbase(x, 2) + 7) / 8 + 1, 0);
    size_t count = 0;
    mpz_export(bytes.data(), &count, -1, 1, 0, 0, x);
    bytes.resize(count);
    return bigFromBytes(bytes, mpz_sgn(x) < 0);
}

// toMpz: the value of a valid BigInt (a zero with the flag is 0).
inline void toMpz(mpz_ptr out, const zq::BigInt& x) {
    const uint32_t n = x.mag->length;
    std::vector<uint32_t> words(n + 1, 0);
    x.toWords(words.data(), n);
    mpz_import(out, n, -1, 4, 0, 0, words.data());
    if (x.negative != 0) mpz_neg(out, out);
}

// equals: `x` is valid and has the value `expected`.
inline bool equals(const zq::BigInt& x, mpz_srcptr expected) {
    if (!x.isValid()) return false;
    Mpz value;
    toMpz(value, x);
    return mpz_cmp(value, expected) == 0;
}

// Fault: the heap failure an input asks for. Its first two bytes: byte 0
// below 128 asks for none; otherwise allocation request number byte 1 (plus
// 256 times bits 1 to 6 of byte 0) from the start of the call under test
// fails, and with bit 0 of byte 0 every later one too.
struct Fault {
    bool armed;
    uint32_t after;
    bool sticky;

    static Fault read(Reader& in) {
        const uint8_t mode = in.byte();
        const uint8_t index = in.byte();
        return {mode >= 128, index + 256u * ((mode >> 1) & 63u), (mode & 1) != 0};
    }
    // fromLastByte: for targets whose input format was fixed before faults
    // came: the last byte b picks request b mod 64 (times 16 when bit 6 is
    // set), sticky when bit 7 is set.
    static Fault fromLastByte(const uint8_t* data, size_t size) {
        const uint8_t b = size == 0 ? 0 : data[size - 1];
        return {true, (b & 63u) * (b & 64 ? 16u : 1u), (b & 128) != 0};
    }
    void arm() const {
        if (armed) zq::heap_probe::failAllocations(after, sticky);
    }
    static void disarm() { zq::heap_probe::stopFailing(); }
};

// refused: a fault was armed for this run and the heap has refused a request
// since; only then may a call report that it ran out of memory.
inline bool refused(const Fault* fault) {
    return fault != nullptr && zq::heap_probe::failedAllocations() != 0;
}

// serviceUnderFault: a blob service `call(output)` run with `fault` armed on
// an output that already holds a block of the library's. It either gives
// `expected` (a copy of what the call gave without the fault), or returns 0,
// having been refused an allocation, with the output as it was; no block is
// left behind.
template <typename Call>
void serviceUnderFault(const Fault& fault, const CryptBlob& expected, Call call) {
    const uint32_t live = zq::heap_probe::liveBlocks();
    CryptBlob output{0, 0, nullptr};
    check(zqCryptBlobInit(&output, 3) != 0);
    output.tag = 0x5EED;
    const CryptBlob before = output;
    fault.arm();
    const uint32_t result = call(&output);
    const bool refused = zq::heap_probe::failedAllocations() != 0;
    Fault::disarm();
    if (result == 0) {
        check(refused && output.size == before.size && output.tag == before.tag && output.data == before.data);
    } else {
        check(result == 1 && output.size == expected.size && output.tag == expected.tag);
        check(expected.size == 0 || memcmp(output.data, expected.data, expected.size) == 0);
    }
    zqCryptBlobClear(&output);
    check(zq::heap_probe::liveBlocks() == live);
}

// runWithFault: `body(fault)` with the input's fault armed, then (when one
// was armed) again with none; each run must give back every heap block it
// took. The body arms the fault itself, right before the calls it tests, and
// treats a result the heap could have spoilt accordingly.
template <typename Body>
void runWithFault(const uint8_t* data, size_t size, Body body) {
    Reader in(data, size);
    const Fault fault = Fault::read(in);
    const uint32_t live = zq::heap_probe::liveBlocks();
    if (fault.armed) {
        body(Reader(in), &fault);
        Fault::disarm();
        check(zq::heap_probe::liveBlocks() == live);
    }
    body(Reader(in), nullptr);
    Fault::disarm();
    check(zq::heap_probe::liveBlocks() == live);
}

}  // namespace fuzz

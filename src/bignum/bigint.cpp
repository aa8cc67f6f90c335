// File: bigint.cpp
//
// BigInt members: sharing and copy-on-write, loading and storing words,
// signed comparison, and the in-place operations. The free operators are in
// bigint_operators.cpp. See bigint.h.
#include "bignum/bigint.h"

#include <stddef.h>
#include <string.h>

#include <new>

#include "engines/byte_order.h"
#include "frame/private_heap.h"

namespace zq {
namespace {

// The one invalid record every invalid value points to. It is read-only
// (constant-initialised, so no start-up code makes it), never counted and
// never freed; every path that writes a magnitude goes through makeUnique,
// which refuses it.
constinit const Magnitude InvalidRecord{nullptr, Magnitude::InvalidCapacity, 0, 0};

Magnitude* invalidRecord() noexcept { return const_cast<Magnitude*>(&InvalidRecord); }

// newRecord is an empty magnitude record on the heap, or the invalid record
// when the heap refuses. Its padding is zeroed too, so that the record goes
// back to the heap all zero once Magnitude::release has emptied it.
Magnitude* newRecord() noexcept {
    void* block = PrivateHeap::allocate(sizeof(Magnitude));
    if (block == nullptr) return invalidRecord();
    memset(block, 0, sizeof(Magnitude));
    return new (block) Magnitude{};
}

}  // namespace

// ---- Life: construction, copy, assignment, destruction ----------------------

BigInt::BigInt(uint32_t v) noexcept : mag(newRecord()), negative(0) {
    if (v != 0 && mag != invalidRecord()) mag->setSmall(v);
}

BigInt::BigInt(const BigInt& other) noexcept : mag(other.mag), negative(other.negative) {
    if (mag != invalidRecord()) ++mag->shareCount;
}

BigInt& BigInt::operator=(const BigInt& other) noexcept {
    // Letting go first would free a magnitude that both hold when this is
    // its only other holder, so the same magnitude is simply kept.
    if (mag != other.mag) {
        letGo();
        mag = other.mag;
        if (mag != invalidRecord()) ++mag->shareCount;
    }
    negative = other.negative;
    return *this;
}

BigInt::~BigInt() { letGo(); }

void BigInt::letGo() noexcept {
    if (mag == invalidRecord()) return;
    if (mag->shareCount != 0) {
        --mag->shareCount;
        return;
    }
    mag->release();  // the last holder: words cleared, then freed
    PrivateHeap::release(mag);
}

BigInt BigInt::invalid() noexcept { return BigInt(invalidRecord(), 0); }

void BigInt::invalidate() noexcept {
    letGo();
    mag = invalidRecord();
    negative = 0;
}

uint32_t BigInt::makeUnique() noexcept {
    if (!mag->isValid()) return 0;
    if (mag->shareCount == 0) return 1;
    Magnitude* shared = mag;
    --shared->shareCount;  // the other holders keep it
    mag = newRecord();
    if (mag == invalidRecord()) return 0;
    mag->assign(*shared);  // one allocation of exactly its length
    return mag->isValid();
}

// ---- Words ------------------------------------------------------------------

void BigInt::fromWords(const void* source, uint32_t n) noexcept {
    if (!makeUnique()) return;
    const auto* bytes = static_cast<const uint8_t*>(source);
    // Zero words at the top fall away; the rest is stored from word 0 up
    // into storage reserved once for exactly the significant words.
    while (n > 0 && loadLittle32(bytes + 4 * static_cast<size_t>(n - 1)) == 0) --n;
    mag->clear();
    mag->reserve(n);
    for (uint32_t i = 0; i < n; ++i) mag->setWord(i, loadLittle32(bytes + 4 * static_cast<size_t>(i)));
}

void BigInt::toWords(void* target, uint32_t n) const noexcept {
    auto* bytes = static_cast<uint8_t*>(target);
    for (uint32_t i = 0; i < n; ++i) storeLittle32(bytes + 4 * static_cast<size_t>(i), mag->word(i));
}

// ---- Reading ----------------------------------------------------------------

int32_t BigInt::compare(const BigInt& other) const noexcept {
    // A zero with the flag set counts as non-negative.
    const bool thisNegative = negative != 0 && !mag->isZero();
    const bool otherNegative = other.negative != 0 && !other.mag->isZero();
    if (thisNegative != otherNegative) return thisNegative ? -1 : 1;
    const int32_t magnitudes = mag->compare(*other.mag);
    return thisNegative ? -magnitudes : magnitudes;
}

// ---- Changing in place ------------------------------------------------------
// Each member below calls makeUnique before it writes; an invalid operand
// makes the receiver invalid.

void BigInt::setBit(uint32_t b) noexcept {
    if (makeUnique()) mag->setBit(b);
}

void BigInt::clearBit(uint32_t b) noexcept {
    if (makeUnique()) mag->clearBit(b);
}

BigInt& BigInt::add(const BigInt& other) noexcept {
    if (!other.isValid()) {
        invalidate();
        return *this;
    }
    // The cases go by the raw flags; a zero with flag 1 takes the negative
    // side and the result is right either way.
    if (negative == other.negative) {
        if (makeUnique()) mag->add(*other.mag);  // also x += x, which doubles
    } else if (mag->compare(*other.mag) >= 0) {
        if (makeUnique()) mag->subtract(*other.mag);  // a zero result keeps this flag
    } else {
        // |this| < |other|: the result is other − |this| with other's sign.
        const BigInt smaller(*this);
        *this = other;
        add(smaller);
    }
    return *this;
}

BigInt& BigInt::subtract(const BigInt& other) noexcept {
    if (!other.isValid()) {
        invalidate();
        return *this;
    }
    if (negative != other.negative) {
        if (makeUnique()) mag->add(*other.mag);
    } else if (mag->compare(*other.mag) >= 0) {
        if (makeUnique()) mag->subtract(*other.mag);  // x −= x is zero with x's flag
    } else {
        // |this| < |other| with equal flags: |other| − |this| with the
        // opposite of the common sign.
        const BigInt smaller(*this);
        *this = other;
        subtract(smaller);
        if (isValid()) negative = 1 - negative;
    }
    return *this;
}

BigInt& BigInt::operator^=(const BigInt& other) noexcept {
    if (!other.isValid()) invalidate();
    else if (makeUnique()) mag->xorWith(*other.mag);
    return *this;
}

BigInt& BigInt::operator&=(const BigInt& other) noexcept {
    if (!other.isValid()) invalidate();
    else if (makeUnique()) mag->andWith(*other.mag);
    return *this;
}

BigInt& BigInt::shiftRight(uint32_t n) noexcept {
    if (makeUnique()) mag->shiftRight(n);
    return *this;
}

BigInt& BigInt::rotateRight1(uint32_t w) noexcept {
    if (makeUnique() && mag->shiftRight1() != 0) mag->setBit(w - 1);
    return *this;
}

BigInt& BigInt::rotateLeft1(uint32_t w) noexcept {
    if (!makeUnique()) return *this;
    const uint32_t top = mag->testBit(w - 1);
    if (top != 0) mag->clearBit(w - 1);
    mag->shiftLeft1();
    if (top != 0) mag->setBit(0);
    return *this;
}

}  // namespace zq

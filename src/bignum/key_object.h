// File: key_object.h
//
// KeyObject: an RSA public key, the record behind a provider key handle. The
// provider's key import allocates it on the PrivateHeap and fills both values
// from the key blob. The private-key record of the number-theory toolkit
// begins with the same two fields in the same order.
#pragma once

#include "bignum/bigint.h"

namespace zq {

struct KeyObject {
    BigInt modulus;   // n, non-negative
    BigInt exponent;  // e, the public exponent, non-negative

    // publicOperation is modPow(x, exponent, modulus): x^e mod n in [0, n).
    // For a key outside the contract (an even or zero modulus) or when the
    // heap runs out it is the invalid value (bigint.h), on which the signature
    // check reports that it could not check; an exponent of 0 gives 1 mod n.
    BigInt publicOperation(const BigInt& x) const noexcept;
};

}  // namespace zq

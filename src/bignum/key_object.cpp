// File: key_object.cpp
//
// The RSA public-key operation. See key_object.h.
#include "bignum/key_object.h"

#include "bignum/montgomery.h"

namespace zq {

BigInt KeyObject::publicOperation(const BigInt& x) const noexcept { return modPow(x, exponent, modulus); }

}  // namespace zq

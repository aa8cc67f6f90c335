// File: montgomery_crt.cpp
//
// The CRT private-key operation between Montgomery images. See
// montgomery_crt.h.
#include "numtheory/montgomery_crt.h"

#include "bignum/montgomery.h"
#include "numtheory/private_key.h"

namespace zq {

BigInt montgomeryCrtPow(const BigInt& xImage, const BigInt& d, const BigInt& n, const BigInt& p,
                        const BigInt& q) noexcept {
    const MontgomeryContext context(n);
    if (!context.isValid()) return BigInt::invalid();
    const BigInt x = (xImage * context.radixInverse) % n;
    const BigInt y = crtPow(x, d, p, q);
    return (y * context.radix) % n;
}

}  // namespace zq

// The number-theory toolkit on arbitrary arguments (composite, even, tiny,
// huge, not coprime): isProbablePrime, nextPrime and stripSmallFactors
// against their definitions worked through with GMP, sqrtModPrime (roots
// square back modulo primes), halveMod, lucasV (against GMP's own Lucas
// chain) and the private-key operation (undone by the public one, and equal
// to the CRT arithmetic done by GMP). Each call must return within the
// run's time limit, and with a heap failure armed give either the stated
// result or the invalid value.
//
// Input: the fault (fuzz_support.h), the function, a flags byte, then up to
// four operands, each a length byte (times four bytes for stripSmallFactors'
// number) and its bytes.
#include <stdint.h>

#include <algorithm>

#include "fuzz_support.h"
#include "numtheory/prime_table.h"
#include "numtheory/private_key.h"
#include "numtheory/sqrt_mod.h"

using fuzz::check;
using fuzz::equals;
using fuzz::Fault;
using fuzz::Mpz;
using zq::BigInt;

namespace {

// fermat: the library's probable-prime rule, worked by GMP.
bool fermat(mpz_srcptr n) {
    if (mpz_cmp_ui(n, 2) < 0 || mpz_even_p(n)) return false;
    Mpz e, r, base;
    mpz_sub_ui(e, n, 1);
    for (unsigned long a : {2ul, 3ul, 5ul, 7ul}) {
        mpz_set_ui(base, a);
        mpz_powm(r, base, e, n);
        if (mpz_cmp_ui(r, 1) != 0) return false;
    }
    return true;
}

// Primes below `limit`, as a table made by the library should hold them.
std::vector<uint32_t> primesBelow(uint32_t limit) {
    std::vector<uint32_t> primes;
    for (uint32_t p = 2; p < limit; ++p) {
        bool prime = true;
        for (uint32_t d : primes) {
            if (d * d > p) break;
            if (p % d == 0) prime = false;
            if (!prime) break;
        }
        if (prime) primes.push_back(p);
    }
    return primes;
}

bool survivesTable(mpz_srcptr c, const std::vector<uint32_t>& primes) {
    for (uint32_t p : primes) {
        if (mpz_divisible_ui_p(c, p)) return false;
    }
    return true;
}

// The operand `n` of the input: raw, or (flag) the next prime above it.
Mpz operand(fuzz::Reader& in, bool negative, bool makePrime, size_t most = 255) {
    Mpz v;
    fuzz::mpzFromBytes(v, in.bytes(std::min<size_t>(in.byte(), most)), negative);
    if (makePrime) mpz_nextprime(v, v);
    return v;
}

void primeTests(uint8_t which, uint8_t flags, fuzz::Reader& in, const Fault* fault) {
    const uint32_t limit = in.u16() % 3000;
    const zq::PrimeTable table(limit);
    const std::vector<uint32_t> primes = primesBelow(limit);
    if (table.primes != nullptr) {
        check(table.count == primes.size());
        for (uint32_t i = 0; i < table.count; ++i) check(table.primes[i] == primes[i]);
    } else {
        check(primes.empty());
    }
    std::vector<uint32_t> used(table.primes, table.primes + (table.primes ? table.count : 0));

    if (which == 0) {
        const Mpz n = operand(in, flags & 1, false, 128);
        const BigInt x = fuzz::bigFromMpz(n);
        if (fault) fault->arm();
        const uint32_t verdict = zq::isProbablePrime(x);
        check(verdict == (fermat(n) ? 1u : 0u) || (fuzz::refused(fault) && verdict == 0));
        if (mpz_cmp_ui(n, 7) > 0 && mpz_probab_prime_p(n, 20) != 0) check(verdict == 1 || fuzz::refused(fault));
    } else if (which == 1) {
        Mpz n = operand(in, flags & 1, false);
        if (mpz_sizeinbase(n, 2) > 256) mpz_fdiv_r_2exp(n, n, 256);
        BigInt x = fuzz::bigFromMpz(n);
        if (fault) fault->arm();
        const BigInt found = table.nextPrime(x);
        Fault::disarm();
        if (fuzz::refused(fault) && !found.isValid()) {
            check(!x.isValid());
            return;
        }
        // The first candidate from max(n, 2) up that the table and Fermat pass.
        Mpz c;
        mpz_set(c, n);
        if (mpz_cmp_ui(c, 2) < 0) mpz_set_ui(c, 2);
        while (!(survivesTable(c, used) && fermat(c))) mpz_add_ui(c, c, 1);
        check(equals(found, c) && equals(x, c));
    } else {
        Mpz n = operand(in, flags & 1, false), bound = operand(in, flags & 2, false);
        BigInt x = fuzz::bigFromMpz(n), factor(7u);
        const BigInt b = fuzz::bigFromMpz(bound);
        if (fault) fault->arm();
        const uint32_t verdict = table.stripSmallFactors(x, factor, b);
        Fault::disarm();
        if (fuzz::refused(fault) && !x.isValid()) {
            check(verdict == 0 && !factor.isValid());
            return;
        }
        // The definition, step by step.
        Mpz f(1);
        uint32_t expected = 0;
        bool decided = mpz_cmp_ui(n, 2) < 0;
        for (size_t i = 0; i < used.size() && !decided; ++i) {
            while (!decided && mpz_divisible_ui_p(n, used[i])) {
                if (mpz_cmp_ui(n, used[i]) == 0) {
                    expected = 1, decided = true;
                    break;
                }
                mpz_divexact_ui(n, n, used[i]);
                mpz_mul_ui(f, f, used[i]);
                if (mpz_cmp(n, bound) < 0) expected = 0, decided = true;
            }
        }
        if (!decided) expected = fermat(n) ? 1 : 0;
        check(equals(x, n) && equals(factor, f));
        check(verdict == expected || (fuzz::refused(fault) && verdict == 0));
    }
}

// lucasChain: V(k) mod n by the doubling chain on (V(j), V(j+1), Q^j):
// V(2j) = V(j)² − 2Q^j, V(2j+1) = V(j)V(j+1) − PQ^j, V(2j+2) = V(j+1)² − 2Q^(j+1),
// independent of the U and D steps of the library.
void lucasChain(mpz_ptr out, mpz_srcptr P, mpz_srcptr Q, mpz_srcptr k, mpz_srcptr n) {
    Mpz a(2), b, qj(1), t, qq;
    mpz_set(b, P);
    for (long bit = static_cast<long>(mpz_sizeinbase(k, 2)) - 1; bit >= 0 && mpz_sgn(k) != 0; --bit) {
        mpz_mul(t, a, b);
        mpz_submul(t, P, qj);
        if (mpz_tstbit(k, bit)) {
            mpz_mul(qq, qj, Q);
            mpz_mul(b, b, b);
            mpz_submul_ui(b, qq, 2);
            mpz_mod(a, t, n);
            mpz_mul(qj, qj, qq);
        } else {
            mpz_mul(a, a, a);
            mpz_submul_ui(a, qj, 2);
            mpz_mod(b, t, n);
            mpz_mul(qj, qj, qj);
        }
        mpz_mod(a, a, n);
        mpz_mod(b, b, n);
        mpz_mod(qj, qj, n);
    }
    mpz_mod(out, a, n);
}

void residueTests(uint8_t which, uint8_t flags, fuzz::Reader& in, const Fault* fault) {
    if (which == 3) {
        // sqrtModPrime: a square modulo p (flag) or any a; p prime (flag) or any.
        Mpz a = operand(in, flags & 1, false, 64), p = operand(in, flags & 2, flags & 4, 64);
        if (flags & 8) mpz_mul(a, a, a);
        const BigInt x = fuzz::bigFromMpz(a), m = fuzz::bigFromMpz(p);
        if (fault) fault->arm();
        const BigInt r = zq::sqrtModPrime(x, m);
        Fault::disarm();
        const bool outside = mpz_cmp_ui(p, 2) < 0 || (mpz_even_p(p) && mpz_cmp_ui(p, 2) != 0);
        if (outside) return check(!r.isValid());
        if (fuzz::refused(fault) && !r.isValid()) return;
        if (mpz_probab_prime_p(p, 20) == 0) return;  // composite: no stated result
        Mpz root, square, reduced;
        check(r.isValid());
        fuzz::toMpz(root, r);
        check(mpz_sgn(root) >= 0 && mpz_cmp(root, p) < 0);
        mpz_mul(square, root, root);
        mpz_mod(square, square, p);
        mpz_mod(reduced, a, p);
        const bool residue = mpz_cmp_ui(p, 2) == 0 || mpz_legendre(reduced, p) != -1;
        check((mpz_cmp(square, reduced) == 0) == residue);
        return;
    }
    Mpz P = operand(in, flags & 1, false), Q = operand(in, flags & 2, false), n = operand(in, false, false);
    mpz_setbit(n, 0);
    const BigInt bp = fuzz::bigFromMpz(P), bq = fuzz::bigFromMpz(Q), bn = fuzz::bigFromMpz(n);
    if (which == 4) {
        // halveMod(P, n), n odd: (P + n)/2 for an odd P, else P/2, toward zero.
        Mpz e;
        if (mpz_odd_p(P)) mpz_add(e, P, n); else mpz_set(e, P);
        mpz_tdiv_q_ui(e, e, 2);
        if (fault) fault->arm();
        const BigInt r = zq::halveMod(bp, bn);
        if (!(fuzz::refused(fault) && !r.isValid())) check(equals(r, e));
        return;
    }
    // lucasV(P, Q, k, n): congruent to V(k) modulo the odd n.
    Mpz k = operand(in, flags & 4, false);
    if (mpz_sizeinbase(k, 2) > 512) mpz_fdiv_r_2exp(k, k, 512);
    const BigInt bk = fuzz::bigFromMpz(k);
    Mpz absK, expected, got;
    mpz_abs(absK, k);
    lucasChain(expected, P, Q, absK, n);
    if (fault) fault->arm();
    const BigInt r = zq::lucasV(bp, bq, bk, bn);
    Fault::disarm();
    if (fuzz::refused(fault) && !r.isValid()) return;
    check(r.isValid());
    fuzz::toMpz(got, r);
    mpz_mod(got, got, n);
    check(mpz_cmp(got, expected) == 0);
}

void privateTests(uint8_t flags, fuzz::Reader& in, const Fault* fault) {
    Mpz p = operand(in, flags & 1, flags & 4, 64), q = operand(in, flags & 2, flags & 4, 64);
    Mpz e = operand(in, false, false, 64), x = operand(in, false, false, 128);
    zq::PrivateKeyObject key{fuzz::bigFromMpz(p), fuzz::bigFromMpz(e), fuzz::bigFromMpz(p), fuzz::bigFromMpz(q)};
    const BigInt bx = fuzz::bigFromMpz(x);
    if (fault) fault->arm();
    const BigInt r = key.privateOperation(bx);
    Fault::disarm();

    // The contract: odd coprime p, q above 1, e invertible modulo (p − 1)(q − 1).
    Mpz g, phi, p1, q1, d;
    mpz_gcd(g, p, q);
    mpz_sub_ui(p1, p, 1);
    mpz_sub_ui(q1, q, 1);
    mpz_mul(phi, p1, q1);
    const bool inContract = mpz_cmp_ui(p, 1) > 0 && mpz_cmp_ui(q, 1) > 0 && mpz_odd_p(p) && mpz_odd_p(q) &&
                            mpz_cmp_ui(g, 1) == 0 && mpz_invert(d, e, phi) != 0;
    if (!inContract) return check(!r.isValid());
    if (fuzz::refused(fault) && !r.isValid()) return;
    // Garner's recombination with GMP: mP + p·(((mQ − mP)·p^−1) mod q).
    Mpz dp, dq, mp, mq, pInv, t, n;
    mpz_mod(dp, d, p1);
    mpz_mod(dq, d, q1);
    mpz_powm(mp, x, dp, p);
    mpz_powm(mq, x, dq, q);
    mpz_invert(pInv, p, q);
    mpz_sub(t, mq, mp);
    mpz_mul(t, t, pInv);
    mpz_mod(t, t, q);
    mpz_mul(t, t, p);
    mpz_add(t, t, mp);
    check(equals(r, t));
    // With primes, the public operation undoes it.
    if (mpz_probab_prime_p(p, 20) && mpz_probab_prime_p(q, 20)) {
        mpz_mul(n, p, q);
        mpz_powm(t, t, e, n);
        mpz_mod(x, x, n);
        check(mpz_cmp(t, x) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::runWithFault(data, size, [](fuzz::Reader in, const Fault* fault) {
        const uint8_t which = in.byte() % 7, flags = in.byte();
        if (which <= 2) return primeTests(which, flags, in, fault);
        if (which <= 5) return residueTests(which, flags, in, fault);
        privateTests(flags, in, fault);
    });
    return 0;
}

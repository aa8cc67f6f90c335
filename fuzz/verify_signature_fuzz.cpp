// zqCryptVerifySignature on arbitrary signature, key and digest blobs,
// against the outcome that OpenSSL's BN_mod_exp predicts. The key blob keeps
// whatever bitlen and pubexp the input gives, so moduli cut short by the
// blob, zero, one and even moduli and a zero exponent all come up. Each
// blob's bytes past its size are poisoned, so a read beyond a blob stops the
// run.
//
// Input: byte 0 says where the digest comes from (below), bytes 1 and 2 the
// signature size; then the signature, the digest if the input gives it, and
// the key blob (the rest). The check is then made again with the heap
// refusing an allocation, as the last byte says (fuzz_support.h).
#include <openssl/bn.h>
#include <sanitizer/asan_interface.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "zqcrypt.h"

namespace {

constexpr uint32_t kBadSignature = 0x80090006u;

uint32_t loadWord(const uint8_t* bytes) {
    return bytes[0] | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

BIGNUM* fromLittleEndian(const uint8_t* bytes, size_t size) {
    return BN_lebin2bn(bytes, static_cast<int>(size), nullptr);
}

enum class Key { tooLarge, notRsa, usable };

// examine classes the key and signature as the library must, sizes first,
// and for a usable key writes the lowest 128 bits of s^e mod n to `low`, most
// significant byte first, as a digest reads.
Key examine(const std::vector<uint8_t>& signature, const std::vector<uint8_t>& key, uint8_t low[16]) {
    if (key.size() < 20) return Key::notRsa;  // no key at all: the import refuses it first
    const size_t words = std::min<size_t>(loadWord(key.data() + 12) / 32, (key.size() - 20) / 4);
    BIGNUM* n = fromLittleEndian(key.data() + 20, 4 * words);
    BIGNUM* e = fromLittleEndian(key.data() + 16, 4);
    BIGNUM* s = fromLittleEndian(signature.data(), signature.size() / 4 * 4);
    Key kind = Key::usable;
    if (BN_num_bits(n) > 16384 || BN_num_bits(s) > 16384) {
        kind = Key::tooLarge;  // not worked on, whatever the key is
    } else if (!(BN_is_odd(n) && BN_num_bits(n) >= 2 && !BN_is_zero(e))) {
        kind = Key::notRsa;
    } else {
        BN_CTX* context = BN_CTX_new();
        BIGNUM* m = BN_new();
        if (BN_mod_exp(m, s, e, n, context) != 1) abort();
        BN_mask_bits(m, 128);
        BN_bn2binpad(m, low, 16);
        BN_free(m);
        BN_CTX_free(context);
    }
    BN_free(n);
    BN_free(e);
    BN_free(s);
    return kind;
}

// expected: 0 for "cannot check", 1 for a mismatch, 2 for a match.
int expected(Key kind, const uint8_t low[16], const std::vector<uint8_t>& key, const std::vector<uint8_t>& digest) {
    if (digest.size() != 16 || key.size() < 20 || kind == Key::tooLarge) return 0;
    if (kind == Key::notRsa) return 1;
    return memcmp(low, digest.data(), 16) == 0 ? 2 : 1;
}

// A blob over a copy of `bytes`, the bytes past its size poisoned.
struct PoisonedBlob {
    std::vector<uint8_t> storage;
    CryptBlob blob;
    explicit PoisonedBlob(const std::vector<uint8_t>& bytes) : storage(bytes) {
        storage.resize(bytes.size() + 16);
        ASAN_POISON_MEMORY_REGION(storage.data() + bytes.size(), 16);
        blob = {static_cast<uint32_t>(bytes.size()), 0, storage.data()};
    }
    ~PoisonedBlob() { ASAN_UNPOISON_MEMORY_REGION(storage.data() + blob.size, 16); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // Byte 0 from 32 to 223: the digest is the one the signature makes under
    // the key (by BN_mod_exp), so that most runs expect a match and wrong
    // arithmetic shows. Below 32: 16 digest bytes from the input; from 224 on,
    // data[0] − 224 of them.
    const bool digestMade = data[0] >= 32 && data[0] < 224;
    const size_t digestSize = data[0] < 224 ? 16 : data[0] - 224;
    size_t signatureSize = data[1] | size_t{data[2]} << 8;
    const uint8_t* rest = data + 3;
    size_t left = size - 3;
    signatureSize = std::min(signatureSize % 1024, left);
    const std::vector<uint8_t> signature(rest, rest + signatureSize);
    rest += signatureSize, left -= signatureSize;
    const size_t digestTaken = digestMade ? 0 : std::min(digestSize, left);
    std::vector<uint8_t> digest(rest, rest + digestTaken);
    digest.resize(digestSize, 0);
    rest += digestTaken, left -= digestTaken;
    const std::vector<uint8_t> key(rest, rest + left);
    uint8_t low[16] = {};
    const Key kind = examine(signature, key, low);
    if (digestMade) digest.assign(low, low + 16);

    PoisonedBlob s(signature), k(key), d(digest);
    uint32_t matches = 0xFFFFFFFFu;
    zqSetLastError(7);
    const uint32_t result = zqCryptVerifySignature(&s.blob, &k.blob, &d.blob, 0, &matches);
    const uint32_t lastError = zqGetLastError();

    switch (expected(kind, low, key, digest)) {
    case 0:
        if (result != 0 || matches != 0 || lastError != 7) abort();
        break;
    case 1:
        if (result != 1 || matches != 0 || lastError != kBadSignature) abort();
        break;
    default:
        if (result != 1 || matches != 1 || lastError != 7) abort();
        break;
    }

    // Again with the heap refusing an allocation (the input's last byte says
    // which): the same outcome, or no check made, and no block left behind.
    const uint32_t live = zq::heap_probe::liveBlocks();
    uint32_t matchesUnderFault = 0xFFFFFFFFu;
    zqSetLastError(7);
    fuzz::Fault::fromLastByte(data, size).arm();
    const uint32_t resultUnderFault = zqCryptVerifySignature(&s.blob, &k.blob, &d.blob, 0, &matchesUnderFault);
    const bool refused = zq::heap_probe::failedAllocations() != 0;
    fuzz::Fault::disarm();
    const bool same = resultUnderFault == result && matchesUnderFault == matches && zqGetLastError() == lastError;
    const bool noCheck = resultUnderFault == 0 && matchesUnderFault == 0 && zqGetLastError() == 7 && refused;
    if (!(same || noCheck) || zq::heap_probe::liveBlocks() != live) abort();
    return 0;
}

// zqCryptVerifySignature: RSA keys and PKCS #1 v1.5 signatures over MD5 made
// by OpenSSL (tests/vectors/rsa_md5_signatures.txt), the outcomes table, keys
// that cannot be RSA keys, blobs without data, threads and heap exhaustion.
#include <random>
#include <thread>

#include "exports/vector_file.h"

namespace {

constexpr uint32_t kBadSignature = 0x80090006u;
constexpr uint32_t kUntouched = 0x5EED5EEDu;  // a last error no call sets

struct SignatureCase {
    std::string section;
    Bytes key, digest, signature;
};

std::vector<SignatureCase> readCases(const std::string& file) {
    std::vector<SignatureCase> result;
    Bytes key, digest;
    for (const VectorEntry& entry : readVectors(file)) {
        if (entry.name == "Key") key = entry.hex();
        if (entry.name == "Digest") digest = entry.hex();
        if (entry.name == "Signature") result.push_back({entry.section, key, digest, entry.hex()});
    }
    return result;
}

const std::vector<SignatureCase>& openSslCases() {
    static const std::vector<SignatureCase> cases = readCases("rsa_md5_signatures.txt");
    return cases;
}

struct Outcome {
    uint32_t result;
    uint32_t matches;
    uint32_t lastError;
};

bool operator==(const Outcome& a, const Outcome& b) {
    return a.result == b.result && a.matches == b.matches && a.lastError == b.lastError;
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{result " << o.result << ", matches " << o.matches << ", last error 0x" << std::hex
               << o.lastError << std::dec << "}";
}

const Outcome kMatch{1, 1, kUntouched};
const Outcome kMismatch{1, 0, kBadSignature};
const Outcome kRefused{0, 0, kUntouched};

Outcome verifyBlobs(const CryptBlob& signature, const CryptBlob& key, const CryptBlob& digest,
                    uint32_t reserved = 0) {
    Outcome outcome{};
    outcome.matches = 0xFFFFFFFFu;  // the call must write 0 or 1
    api().setLastError(kUntouched);
    outcome.result = api().verifySignature(&signature, &key, &digest, reserved, &outcome.matches);
    outcome.lastError = api().getLastError();
    return outcome;
}

Outcome verify(const Bytes& signature, const Bytes& key, const Bytes& digest, uint32_t reserved = 0) {
    Blob s(signature), k(key), d(digest);
    return verifyBlobs(s, k, d, reserved);
}

// A public-key blob of the given fields: header, "RSA1", bitlen, pubexp, modulus.
Bytes keyBlob(uint32_t bitlen, uint32_t exponent, const Bytes& modulus) {
    Bytes blob = {0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 'R', 'S', 'A', '1'};
    for (uint32_t word : {bitlen, exponent}) {
        for (int i = 0; i < 4; ++i) blob.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    blob.insert(blob.end(), modulus.begin(), modulus.end());
    return blob;
}

class VerifySignature : public ExportTest {
protected:
    void SetUp() override {
        ExportTest::SetUp();
        ASSERT_GE(openSslCases().size(), 20u);
    }
    std::mt19937 random_{20261207};
};

TEST_F(VerifySignature, EveryOpenSslSignatureMatches) {
    for (const SignatureCase& c : openSslCases()) {
        EXPECT_EQ(verify(c.signature, c.key, c.digest), kMatch) << c.section;
    }
}

TEST_F(VerifySignature, ModuliFrom4097To16384BitsMatchPythonsPowers) {
    const std::vector<SignatureCase> cases = readCases("rsa_large_moduli.txt");
    ASSERT_EQ(cases.size(), 4u);
    for (const SignatureCase& c : cases) {
        EXPECT_EQ(verify(c.signature, c.key, c.digest), kMatch) << c.section;
        Bytes changed = c.digest;
        changed[c.section.size() % 16] ^= 0x01;
        EXPECT_EQ(verify(c.signature, c.key, changed), kMismatch) << c.section;
    }
}

TEST_F(VerifySignature, AnyChangedDigestByteIsAMismatch) {
    for (const SignatureCase& c : openSslCases()) {
        for (size_t position = 0; position < 16; ++position) {
            Bytes digest = c.digest;
            digest[position] ^= static_cast<uint8_t>(1u << (position % 8));
            EXPECT_EQ(verify(c.signature, c.key, digest), kMismatch) << c.section << ", byte " << position;
        }
    }
}

TEST_F(VerifySignature, AChangedSignatureIsAMismatch) {
    for (const SignatureCase& c : openSslCases()) {
        Bytes signature = c.signature;
        signature[random_() % signature.size()] ^= 0x40;
        EXPECT_EQ(verify(signature, c.key, c.digest), kMismatch) << c.section;
    }
}

TEST_F(VerifySignature, OneToThreeTrailingSignatureBytesAreIgnored) {
    const SignatureCase& c = openSslCases().front();
    for (size_t extra = 1; extra <= 3; ++extra) {
        Bytes signature = c.signature;
        for (size_t i = 0; i < extra; ++i) signature.push_back(static_cast<uint8_t>(random_() | 1));
        EXPECT_EQ(verify(signature, c.key, c.digest), kMatch) << extra << " extra bytes";
        Bytes digest = c.digest;
        digest[0] ^= 1;
        EXPECT_EQ(verify(signature, c.key, digest), kMismatch) << extra << " extra bytes";
    }
}

TEST_F(VerifySignature, ASignatureAboveTheModulusIsReducedFirst) {
    // s + n, least significant byte first, is the same signature modulo n.
    for (const SignatureCase& c : openSslCases()) {
        const uint32_t bits = c.key[12] | c.key[13] << 8 | c.key[14] << 16 | c.key[15] << 24;
        Bytes sum(c.signature.size() + 4, 0);
        unsigned carry = 0;
        for (size_t i = 0; i < sum.size(); ++i) {
            const unsigned s = i < c.signature.size() ? c.signature[i] : 0;
            const unsigned n = i < bits / 8 ? c.key[20 + i] : 0;
            carry += s + n;
            sum[i] = static_cast<uint8_t>(carry);
            carry >>= 8;
        }
        EXPECT_EQ(verify(sum, c.key, c.digest), kMatch) << c.section;
    }
}

TEST_F(VerifySignature, ASignatureUnderFourBytesCountsAsZero) {
    // s = 0 gives s^e mod n = 0, whose low 128 bits are those of a zero digest.
    const SignatureCase& c = openSslCases().front();
    for (size_t size = 0; size < 4; ++size) {
        const Bytes signature(size, 0xA5);
        EXPECT_EQ(verify(signature, c.key, Bytes(16, 0)), kMatch) << size << " bytes";
        EXPECT_EQ(verify(signature, c.key, c.digest), kMismatch) << size << " bytes";
    }
}

TEST_F(VerifySignature, ADigestOfAnyOtherSizeIsRefused) {
    const SignatureCase& c = openSslCases().front();
    for (size_t size : {0u, 1u, 15u, 17u, 20u, 32u}) {
        Bytes digest = c.digest;
        digest.resize(size, 0);
        EXPECT_EQ(verify(c.signature, c.key, digest), kRefused) << size << " bytes";
    }
}

TEST_F(VerifySignature, HeaderFieldsAndReservedArgumentAreNotRead) {
    for (const SignatureCase& c : openSslCases()) {
        Bytes key = c.key;
        for (size_t i = 0; i < 12; ++i) key[i] = static_cast<uint8_t>(random_());
        EXPECT_EQ(verify(c.signature, key, c.digest, static_cast<uint32_t>(random_())), kMatch)
            << c.section;
    }
}

TEST_F(VerifySignature, KeysThatCannotBeRsaKeysNeverMatch) {
    // Zero, one and even moduli, a zero exponent, a modulus lost to a bitlen
    // below 32: the digests that such keys would hit by accident (0 and 1)
    // must not match either.
    const SignatureCase& c = openSslCases().front();
    Bytes one(16, 0);
    one[15] = 1;
    Bytes modulusOne(64, 0), modulusEven(64, 0xFF), modulusZero(64, 0);
    modulusOne[0] = 1;
    modulusEven[0] = 0xFE;
    Bytes realModulus(c.key.begin() + 20, c.key.end());
    const std::vector<std::pair<const char*, Bytes>> keys = {
        {"bitlen 0", keyBlob(0, 65537, realModulus)},
        {"bitlen 31", keyBlob(31, 65537, realModulus)},
        {"modulus 0", keyBlob(512, 65537, modulusZero)},
        {"modulus 1", keyBlob(512, 65537, modulusOne)},
        {"even modulus", keyBlob(512, 65537, modulusEven)},
        {"exponent 0", keyBlob(512, 0, realModulus)},
    };
    for (const auto& [name, key] : keys) {
        for (const Bytes& digest : {Bytes(16, 0), one, c.digest}) {
            EXPECT_EQ(verify(c.signature, key, digest), kMismatch) << name;
            EXPECT_EQ(verify(Bytes{1, 0, 0, 0}, key, digest), kMismatch) << name;
        }
    }
}

TEST_F(VerifySignature, AKeyBlobCutShortIsReadOnlyAsFarAsItGoes) {
    const SignatureCase& c = openSslCases().front();
    for (size_t size = 20; size < c.key.size(); size += 3) {
        const Bytes key(c.key.begin(), c.key.begin() + static_cast<ptrdiff_t>(size));
        EXPECT_EQ(verify(c.signature, key, c.digest), kMismatch) << size << " key bytes";
    }
    for (size_t size = 0; size < 20; ++size) {
        const Bytes key(c.key.begin(), c.key.begin() + static_cast<ptrdiff_t>(size));
        EXPECT_EQ(verify(c.signature, key, c.digest), kRefused) << size << " key bytes";
    }
}

TEST_F(VerifySignature, OperandsBeyondTheLargestKeysAreNotWorkedOn) {
    // A 16384-bit modulus is checked; one word more, or a signature of more
    // than 16384 bits, is refused at once instead of keeping the call busy.
    const SignatureCase& c = openSslCases().front();
    Bytes largest(16384 / 8, 0x5B), larger(16384 / 8 + 4, 0x5B);
    largest[0] |= 1;
    larger[0] |= 1;
    EXPECT_EQ(verify(c.signature, keyBlob(16384, 65537, largest), c.digest), kMismatch);
    EXPECT_EQ(verify(c.signature, keyBlob(16384 + 32, 65537, larger), c.digest), kRefused);

    Bytes longSignature = c.signature;
    longSignature.resize(16384 / 8 + 4, 0);
    EXPECT_EQ(verify(longSignature, c.key, c.digest), kMatch);  // zero words on top fall away
    longSignature.back() = 1;
    EXPECT_EQ(verify(longSignature, c.key, c.digest), kRefused);

    // Sizes are refused before the key is looked at: an even modulus, or one
    // under a zero exponent, that is too large is refused, not a mismatch.
    Bytes evenLarger = larger;
    evenLarger[0] &= 0xFE;
    EXPECT_EQ(verify(c.signature, keyBlob(16384 + 32, 65537, evenLarger), c.digest), kRefused);
    EXPECT_EQ(verify(c.signature, keyBlob(16384 + 32, 0, larger), c.digest), kRefused);
    EXPECT_EQ(verify(longSignature, keyBlob(512, 65537, Bytes(64, 0)), c.digest), kRefused);
}

TEST_F(VerifySignature, BlobsWithoutDataAreRefused) {
    const SignatureCase& c = openSslCases().front();
    Blob signature(c.signature), key(c.key), digest(c.digest);
    const CryptBlob noSignature{8, 0, nullptr}, noKey{static_cast<uint32_t>(c.key.size()), 0, nullptr},
        noDigest{16, 0, nullptr};
    EXPECT_EQ(verifyBlobs(noSignature, key, digest), kRefused);
    EXPECT_EQ(verifyBlobs(signature, noKey, digest), kRefused);
    EXPECT_EQ(verifyBlobs(signature, key, noDigest), kRefused);
    EXPECT_EQ(verifyBlobs(signature, key, digest), kMatch);

    // No flag to write to: refused, and the last error stays.
    api().setLastError(kUntouched);
    EXPECT_EQ(api().verifySignature(&signature, &key, &digest, 0, nullptr), 0u);
    EXPECT_EQ(api().getLastError(), kUntouched);
}

TEST_F(VerifySignature, TenThousandCallsLeaveTheHeapAsTheyFoundIt) {
    const SignatureCase& c = openSslCases().front();
    Blob signature(c.signature), key(c.key), digest(c.digest), wrong(Bytes(16, 7));
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(verifyBlobs(signature, key, i % 2 ? digest : wrong), i % 2 ? kMatch : kMismatch);
    }
}

TEST_F(VerifySignature, ThreadsVerifyAtOnceEachWithItsOwnLastError) {
    const auto& cases = openSslCases();
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            const bool mismatching = t % 2 == 1;
            for (int round = 0; round < 40; ++round) {
                const SignatureCase& c = cases[(t + round) % 6];
                Bytes digest = c.digest;
                if (mismatching) digest[round % 16] ^= 0x80;
                const Outcome outcome = verify(c.signature, c.key, digest);
                if (!(outcome == (mismatching ? kMismatch : kMatch))) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST_F(VerifySignature, AnExhaustedHeapNeverGivesAWrongMatch) {
    // With allocations failing, a wrong digest must never match, and a right
    // one either matches or is refused: an exhausted heap is no evidence
    // against the signature. Nothing crashes or leaks (the fixture counts the
    // blocks).
    const SignatureCase& c = openSslCases()[1];
    Bytes wrongDigest = c.digest;
    wrongDigest[3] ^= 0x10;
    Blob signature(c.signature), key(c.key), digest(c.digest), wrong(wrongDigest);
    for (bool sticky : {true, false}) {
        const int runs = forEachAllocationFailure(sticky, [&](uint32_t k) {
            const Outcome right = verifyBlobs(signature, key, digest);
            const Outcome other = verifyBlobs(signature, key, wrong);
            EXPECT_TRUE(other == kRefused || other == kMismatch) << other << ", allocation " << k;
            EXPECT_TRUE(right == kMatch || right == kRefused) << right << ", allocation " << k;
        });
        if (runs < 0) GTEST_SKIP() << "the heap cannot be made to fail here";
        EXPECT_GT(runs, 3);
    }
}

TEST_F(VerifySignature, AnExhaustedHeapAfterAMismatchIsNotAnotherMismatch) {
    // A thread whose last call was a mismatch still holds NTE_BAD_SIGNATURE;
    // a check that then cannot be made must be refused with that value left
    // as it was, not reported as a second mismatch.
    const SignatureCase& c = openSslCases()[1];
    Blob signature(c.signature), key(c.key), digest(c.digest);
    const Outcome kRefusedAfterMismatch{0, 0, kBadSignature};
    const int runs = forEachAllocationFailure(true, [&](uint32_t k) {
        api().setLastError(kBadSignature);
        uint32_t matches = 0xFFFFFFFFu;
        const Outcome outcome{api().verifySignature(&signature, &key, &digest, 0, &matches), matches,
                              api().getLastError()};
        const Outcome matched{1, 1, kBadSignature};
        EXPECT_TRUE(outcome == matched || outcome == kRefusedAfterMismatch) << outcome << ", allocation " << k;
    });
    if (runs < 0) GTEST_SKIP() << "the heap cannot be made to fail here";
    EXPECT_GT(runs, 3);
}

}  // namespace

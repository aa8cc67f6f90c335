// File: key_blob.cpp
//
// PUBLICKEYBLOB writing and reading. See key_blob.h.
#include "key_blob.h"

#include "failure.h"

namespace zqcli {
namespace {

constexpr size_t HeaderBytes = KeyBlobHeaderBytes;

// The modulus's size in a blob made by makeKeyBlob: its bit length rounded
// up to 32, in bytes.
size_t blobModulusBytes(const RsaPublicKey& key) { return (modulusBits(key) + 31) / 32 * 4; }

}  // namespace

void appendWord(std::vector<uint8_t>& bytes, uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
}

uint32_t wordAt(const std::vector<uint8_t>& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint32_t modulusBits(const RsaPublicKey& key) {
    if (key.modulus.empty()) return 0;
    uint32_t bits = static_cast<uint32_t>(key.modulus.size() - 1) * 8;
    for (uint8_t top = key.modulus[0]; top != 0; top >>= 1) ++bits;
    return bits;
}

void checkModulus(const RsaPublicKey& key, const std::string& name) {
    if (key.modulus.empty()) fail(quoteName(name), "a modulus of zero: not an RSA key");
    if (key.modulus.back() % 2 == 0) fail(quoteName(name), "an even modulus: not an RSA key");
}

void checkKeyFits(const RsaPublicKey& key, const std::string& name) {
    if (modulusBits(key) > MaxModulusBits) {
        fail(quoteName(name), "a modulus of " + std::to_string(modulusBits(key)) +
                                  " bits; the library checks keys of up to 16384 bits");
    }
}

std::vector<uint8_t> makeKeyBlob(const RsaPublicKey& key) {
    const size_t modulusBytes = blobModulusBytes(key);
    std::vector<uint8_t> blob = {PublicKeyBlobType, BlobVersion, 0, 0};
    appendWord(blob, CalgRsaKeyx);
    appendWord(blob, MagicRsa1);
    appendWord(blob, static_cast<uint32_t>(modulusBytes * 8));
    appendWord(blob, key.exponent);
    for (size_t i = 0; i < modulusBytes; ++i) {
        blob.push_back(i < key.modulus.size() ? key.modulus[key.modulus.size() - 1 - i] : 0);
    }
    return blob;
}

bool looksLikeKeyBlob(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < HeaderBytes) return false;
    const uint32_t magic = wordAt(bytes, 8);
    return (bytes[0] == PublicKeyBlobType && magic == MagicRsa1) ||
           (bytes[0] == PrivateKeyBlobType && magic == MagicRsa2);
}

uint32_t keyBlobBits(const std::vector<uint8_t>& bytes) { return wordAt(bytes, 12); }

RsaPublicKey readKeyBlob(const std::vector<uint8_t>& bytes, const std::string& name) {
    const uint32_t bits = keyBlobBits(bytes);
    const std::string blobName = quoteName(name);
    if (bits == 0 || bits % 32 != 0) {
        fail(blobName, "a key blob with a bit length of " + std::to_string(bits) +
                           "; the library reads the modulus in whole 32-bit words");
    }
    if (bits > MaxModulusBits) {
        fail(blobName, "a modulus of " + std::to_string(bits) + " bits; the library checks keys of up to 16384 bits");
    }
    if (bytes.size() < HeaderBytes + bits / 8) {
        fail(blobName, "key blob cut short: " + std::to_string(bytes.size()) + " bytes, its bit length needs " +
                           std::to_string(HeaderBytes + bits / 8));
    }
    RsaPublicKey key;
    key.exponent = wordAt(bytes, 16);
    for (size_t i = HeaderBytes + bits / 8; i > HeaderBytes; --i) {
        if (!key.modulus.empty() || bytes[i - 1] != 0) key.modulus.push_back(bytes[i - 1]);
    }
    return key;
}

}  // namespace zqcli

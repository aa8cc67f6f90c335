// File: private_key_blob.cpp
//
// PRIVATEKEYBLOB reading and writing. See private_key_blob.h.
#include "private_key_blob.h"

#include "failure.h"

namespace zqcli {
namespace {

// The blob's fields in order, each with its size: a whole modulus (true)
// or half of one.
struct Field {
    std::vector<uint8_t> RsaPrivateParts::*value;  // nullptr for the modulus
    bool whole;
};
const Field fields[] = {
    {nullptr, true},
    {&RsaPrivateParts::prime1, false},
    {&RsaPrivateParts::prime2, false},
    {&RsaPrivateParts::exponent1, false},
    {&RsaPrivateParts::exponent2, false},
    {&RsaPrivateParts::coefficient, false},
    {&RsaPrivateParts::privateExponent, true},
};

size_t fieldBytes(const Field& field, uint32_t bits) { return field.whole ? (bits + 7) / 8 : (bits + 15) / 16; }

size_t blobBytes(uint32_t bits) {
    size_t total = KeyBlobHeaderBytes;
    for (const Field& field : fields) total += fieldBytes(field, bits);
    return total;
}

}  // namespace

RsaKey readPrivateKeyBlob(const std::vector<uint8_t>& bytes, const std::string& name) {
    if (bytes.size() < KeyBlobHeaderBytes) fail(quoteName(name), "PRIVATEKEYBLOB cut short in its header");
    if (bytes[1] != BlobVersion) {
        fail(quoteName(name),
             "a PRIVATEKEYBLOB of version " + std::to_string(bytes[1]) + "; version 2 is read");
    }
    const uint32_t bits = wordAt(bytes, 12);
    if (bits == 0 || bits > MaxModulusBits) {
        fail(quoteName(name), "a PRIVATEKEYBLOB with a bit length of " + std::to_string(bits) +
                                  "; from 1 to 16384 are read");
    }
    if (bytes.size() != blobBytes(bits)) {
        fail(quoteName(name), std::string(bytes.size() < blobBytes(bits) ? "PRIVATEKEYBLOB cut short: "
                                                                         : "PRIVATEKEYBLOB too long: ") +
                                  std::to_string(bytes.size()) + " bytes, a " + std::to_string(bits) +
                                  "-bit key takes " + std::to_string(blobBytes(bits)));
    }
    RsaKey key;
    key.publicKey.exponent = wordAt(bytes, 16);
    size_t offset = KeyBlobHeaderBytes;
    for (const Field& field : fields) {
        const size_t size = fieldBytes(field, bits);
        std::vector<uint8_t>& value = field.value == nullptr ? key.publicKey.modulus : key.privateParts.*field.value;
        for (size_t i = offset + size; i > offset; --i) {
            if (!value.empty() || bytes[i - 1] != 0) value.push_back(bytes[i - 1]);
        }
        offset += size;
    }
    if (key.publicKey.modulus.empty() || key.privateParts.privateExponent.empty() ||
        key.privateParts.prime1.empty() || key.privateParts.prime2.empty()) {
        fail(quoteName(name), "a PRIVATEKEYBLOB with a modulus, a prime or a private exponent of zero");
    }
    // The header states the modulus's bit length: a key read under another
    // would be written back under a header unlike the one read.
    if (modulusBits(key.publicKey) != bits) {
        fail(quoteName(name), "a PRIVATEKEYBLOB whose header says " + std::to_string(bits) +
                                  " bits around a " + std::to_string(modulusBits(key.publicKey)) +
                                  "-bit modulus");
    }
    key.hasPrivate = true;
    return key;
}

std::vector<uint8_t> makePrivateKeyBlob(const RsaKey& key, uint32_t algorithm, const std::string& name) {
    const uint32_t bits = modulusBits(key.publicKey);
    std::vector<uint8_t> blob = {PrivateKeyBlobType, BlobVersion, 0, 0};
    appendWord(blob, algorithm);
    appendWord(blob, MagicRsa2);
    appendWord(blob, bits);
    appendWord(blob, key.publicKey.exponent);
    for (const Field& field : fields) {
        const size_t size = fieldBytes(field, bits);
        const std::vector<uint8_t>& value =
            field.value == nullptr ? key.publicKey.modulus : key.privateParts.*field.value;
        if (value.size() > size) {
            fail(quoteName(name), "a key whose primes differ in size, which a PRIVATEKEYBLOB cannot hold");
        }
        for (size_t i = 0; i < size; ++i) blob.push_back(i < value.size() ? value[value.size() - 1 - i] : 0);
    }
    return blob;
}

}  // namespace zqcli

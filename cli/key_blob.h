// File: key_blob.h
//
// RSA public keys in the PUBLICKEYBLOB layout the library imports: an
// 8-byte header (type 6, version 2, reserved 0, algorithm CALG_RSA_KEYX),
// the magic "RSA1", the modulus's bit length and the public exponent as
// 32-bit little-endian words, then the modulus, least significant byte
// first, in bitlen / 8 bytes.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace zqcli {

// RsaPublicKey: a modulus (big-endian, no leading zero byte) and an exponent.
struct RsaPublicKey {
    std::vector<uint8_t> modulus;
    uint32_t exponent = 0;
};

// The largest modulus the library works on, in bits.
inline constexpr uint32_t MaxModulusBits = 16384;

// The blob header's fields, shared with PRIVATEKEYBLOB (private_key_blob.h).
inline constexpr uint8_t PublicKeyBlobType = 0x06, PrivateKeyBlobType = 0x07, BlobVersion = 2;
inline constexpr uint32_t CalgRsaKeyx = 0xA400, CalgRsaSign = 0x2400;
inline constexpr uint32_t MagicRsa1 = 0x31415352, MagicRsa2 = 0x32415352;  // "RSA1", "RSA2"
inline constexpr size_t KeyBlobHeaderBytes = 20;

// appendWord appends `word` as 4 bytes, least significant first; wordAt
// reads one at `offset`, which must have 4 bytes from it.
void appendWord(std::vector<uint8_t>& bytes, uint32_t word);
uint32_t wordAt(const std::vector<uint8_t>& bytes, size_t offset);

// modulusBits is the bit length of `key`'s modulus.
uint32_t modulusBits(const RsaPublicKey& key);

// makeKeyBlob writes `key` as a PUBLICKEYBLOB. The library reads the modulus
// in whole 32-bit words, so the bit length written is the modulus's rounded
// up to a multiple of 32 (the modulus then has zero bytes on top); for the
// usual sizes (2048, 3072, 4096 bits) it is the modulus's own.
std::vector<uint8_t> makeKeyBlob(const RsaPublicKey& key);

// looksLikeKeyBlob: `bytes` start like a PUBLICKEYBLOB (or a PRIVATEKEYBLOB,
// whose public part sits in the same places) rather than a PEM or DER key.
bool looksLikeKeyBlob(const std::vector<uint8_t>& bytes);

// keyBlobBits is the bit length that a blob of at least 20 bytes states.
uint32_t keyBlobBits(const std::vector<uint8_t>& bytes);

// readKeyBlob reads the key in a blob that looksLikeKeyBlob; a blob the
// library would misread (cut short, a bit length that is 0, above
// MaxModulusBits or not a multiple of 32) throws a Failure naming `name`.
RsaPublicKey readKeyBlob(const std::vector<uint8_t>& bytes, const std::string& name);

// checkModulus throws a Failure naming `name` when `key` cannot be an RSA
// key: a modulus that is zero or even, where a product of two odd primes
// is odd. The library would only answer that no signature matches.
void checkModulus(const RsaPublicKey& key, const std::string& name);

// checkKeyFits throws a Failure naming `name` when the library cannot hold
// `key`: a modulus above MaxModulusBits.
void checkKeyFits(const RsaPublicKey& key, const std::string& name);

}  // namespace zqcli

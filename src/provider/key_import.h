// File: key_import.h
//
// Provider key objects: an RSA public key imported from a key blob in the
// CryptoAPI PUBLICKEYBLOB layout (all numbers little-endian):
//
//   offset  size            field
//   0       8               BLOBHEADER (type, version, reserved, algorithm)  not read
//   8       4               RSAPUBKEY magic                                  not read
//   12      4               RSAPUBKEY bitlen                                 read
//   16      4               RSAPUBKEY pubexp                                 read
//   20      4 * (bitlen/32) modulus, least significant word first           read
//
// A PRIVATEKEYBLOB starts with the same fields in the same places and is
// taken the same way; only its public part is used. A key handle is a
// pointer to a KeyObject (bignum/key_object.h) on the PrivateHeap.
#pragma once

#include <stdint.h>

#include "bignum/key_object.h"
#include "provider/provider.h"

namespace zq {

// ProvImportKey reads the key blob of `length` bytes at `blob` into a new
// KeyObject, writes its address to `*key` and returns 1. The exponent is the
// pubexp word; the modulus is bitlen / 32 whole words (a remainder of fewer
// than 32 bits is dropped with its partial word), and never more words than
// the blob holds: a modulus cut short by the end of the blob is taken as the
// whole words that are there. Nothing else is validated. Returns 0, with
// `*key` unwritten, when the blob is too short to hold bitlen and pubexp (20
// bytes) or the heap cannot supply the object or its two values. `provider`,
// `publicKey` and `flags` are not read.
uint32_t ProvImportKey(ProviderContext provider, const uint8_t* blob, uint32_t length,
                       uintptr_t publicKey, uint32_t flags, KeyObject** key) noexcept;

// ProvDestroyKey releases the key object and its two values (their words are
// cleared as they go) and returns 1. A null handle is ignored.
uint32_t ProvDestroyKey(KeyObject* key) noexcept;

}  // namespace zq

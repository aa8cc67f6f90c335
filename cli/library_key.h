// File: library_key.h
//
// A key blob as the library's import takes it, and the library's public
// operation on a signature, worked by the library's own integer code (the
// bignum layer, linked in) so that the block it shows is the one the
// library compares. The import reads no header field: the exponent is the
// word at offset 16, and the modulus the bitlen / 32 whole words from
// offset 20 (a partial word is dropped), no more words than the blob holds.
// A PRIVATEKEYBLOB is read the same way; only its public part is used.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace zqcli {

// LibraryKey: what the library reads from a blob, and what the blob says.
struct LibraryKey {
    uint32_t bitlen = 0;
    uint32_t exponent = 0;
    size_t heldBytes = 0;          // the modulus bytes the blob holds after its header
    bool privateBlob = false;      // a PRIVATEKEYBLOB (type 7)
    std::vector<uint32_t> modulus;  // the words read, least significant first, no zero word on top
};

// useLibraryHeap makes sure the integer layer's heap is there before its
// numbers are made (on Windows the tool makes its own copy of it once).
void useLibraryHeap();

// readLibraryKey reads `blob`, at least 20 bytes long.
LibraryKey readLibraryKey(const std::vector<uint8_t>& blob);

// modulusBits is the bit length of the modulus the library reads.
uint32_t modulusBits(const LibraryKey& key);

// RaisedSignature: s^e mod n, most significant byte first in as many bytes
// as the modulus has, and whether s was below n.
struct RaisedSignature {
    bool computed = false;  // false when the heap could not hold the numbers
    bool belowModulus = false;
    std::vector<uint8_t> block;
};

// raiseSignature is s^e mod n for the signature `littleEndian` (least
// significant byte first, any length), for a key with an odd modulus of at
// least 3.
RaisedSignature raiseSignature(const LibraryKey& key, const std::vector<uint8_t>& littleEndian);

}  // namespace zqcli

// File: library_key.cpp
//
// The library's view of a key and its public operation. See library_key.h.
#include "library_key.h"

#include <stddef.h>

#include <algorithm>

#include "bignum/montgomery.h"
#include "frame/private_heap.h"

namespace zqcli {
namespace {

constexpr size_t HeaderBytes = 20;

uint32_t wordAt(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

// The integer layer's numbers live on the library's private heap. In a
// program on Linux it is made when the program starts; on Windows it is
// made when the DLL loads, and the tool's own copy of it here is made once,
// on first use.
void useLibraryHeap() {
#ifdef _WIN32
    static const bool made = zq::PrivateHeap::attach();
    (void)made;
#endif
}

LibraryKey readLibraryKey(const std::vector<uint8_t>& blob) {
    LibraryKey key;
    key.privateBlob = blob[0] == 7;
    key.bitlen = wordAt(&blob[12]);
    key.exponent = wordAt(&blob[16]);
    key.heldBytes = blob.size() - HeaderBytes;
    const size_t words = std::min<size_t>(key.bitlen / 32, key.heldBytes / 4);
    for (size_t i = 0; i < words; ++i) key.modulus.push_back(wordAt(&blob[HeaderBytes + 4 * i]));
    while (!key.modulus.empty() && key.modulus.back() == 0) key.modulus.pop_back();
    return key;
}

uint32_t modulusBits(const LibraryKey& key) {
    if (key.modulus.empty()) return 0;
    uint32_t bits = static_cast<uint32_t>(key.modulus.size() - 1) * 32;
    for (uint32_t top = key.modulus.back(); top != 0; top >>= 1) ++bits;
    return bits;
}

RaisedSignature raiseSignature(const LibraryKey& key, const std::vector<uint8_t>& littleEndian) {
    useLibraryHeap();
    std::vector<uint8_t> padded = littleEndian;
    padded.resize((padded.size() + 3) / 4 * 4, 0);
    zq::BigInt modulus(0u), signature(0u);
    modulus.fromWords(key.modulus.data(), static_cast<uint32_t>(key.modulus.size()));
    signature.fromWords(padded.data(), static_cast<uint32_t>(padded.size() / 4));
    const zq::BigInt block = zq::modPow(signature, zq::BigInt(key.exponent), modulus);

    RaisedSignature raised;
    if (!modulus.isValid() || !signature.isValid() || !block.isValid()) return raised;
    raised.computed = true;
    raised.belowModulus = signature < modulus;
    const size_t size = (modulusBits(key) + 7) / 8;
    std::vector<uint8_t> words(key.modulus.size() * 4);
    block.toWords(words.data(), static_cast<uint32_t>(key.modulus.size()));
    raised.block.assign(words.rend() - static_cast<ptrdiff_t>(size), words.rend());
    return raised;
}

}  // namespace zqcli

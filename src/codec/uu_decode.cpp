// File: uu_decode.cpp
//
// The export zqCryptUUDecode: Base64 text (RFC 4648 §4) back to bytes,
// whatever its name says. See zqcrypt.h, and base64_scalar.h for the rules.
#include "codec/base64_codec.h"
#include "codec/base64_layout.h"
#include "frame/blobs.h"
#include "frame/call_gate.h"
#include "frame/private_heap.h"

uint32_t ZQ_CALL zqCryptUUDecode(const CryptBlob* text, [[maybe_unused]] uint32_t reserved,
                                 CryptBlob* output) noexcept {
    const zq::CallGate gate;
    if (!gate.open()) return 0;
    // Refusals leave `output` as it was: a text that claims bytes it does not
    // have, and an exhausted heap.
    const uint32_t size = text->size;
    if (zq::lacksBytes(text, size)) return 0;
    auto* block = static_cast<uint8_t*>(zq::PrivateHeap::allocate(zq::base64DecodedCapacity(size)));
    if (block == nullptr) return 0;

    const uint32_t count = zq::base64DecodeText(text->data, size, block, zq::Base64Path::automatic);

    // Handed over last, so that `text` and `output` may be the same record.
    zq::BlobAdopt(output, block, count);
    return 1;
}

// File: uu_encode.cpp
//
// The export zqCryptUUEncode: bytes to Base64 text (RFC 4648 §4), whatever
// its name says. See zqcrypt.h.
#include "codec/base64_codec.h"
#include "codec/base64_layout.h"
#include "frame/blobs.h"
#include "frame/call_gate.h"
#include "frame/private_heap.h"

uint32_t ZQ_CALL zqCryptUUEncode(const CryptBlob* input, [[maybe_unused]] uint32_t reserved,
                                 CryptBlob* text) noexcept {
    const zq::CallGate gate;
    if (!gate.open()) return 0;
    // Refusals leave `text` as it was: an input that claims bytes it does not
    // have, one too large for a 32-bit block, and an exhausted heap.
    const uint32_t n = input->size;
    if (zq::lacksBytes(input, n)) return 0;
    zq::Base64TextLayout layout;
    if (!zq::Base64TextLayout::of(n, layout)) return 0;
    auto* block = static_cast<uint8_t*>(zq::PrivateHeap::allocate(layout.blockSize));
    if (block == nullptr) return 0;

    zq::base64EncodeText(input->data, n, layout, block, zq::Base64Path::automatic);

    // Handed over last, so that `input` and `text` may be the same record.
    zq::BlobAdopt(text, block, layout.blockSize);
    return 1;
}

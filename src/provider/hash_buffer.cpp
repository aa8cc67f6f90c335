// File: hash_buffer.cpp
//
// The export zqCryptHashBuffer: the MD5 digest of a blob, through the
// provider's hash objects. See zqcrypt.h.
#include "frame/blobs.h"
#include "frame/call_gate.h"
#include "frame/last_error.h"
#include "provider/hash_object.h"

using namespace zq;

uint32_t ZQ_CALL zqCryptHashBuffer(const CryptBlob* input, [[maybe_unused]] uint32_t reserved,
                                   CryptBlob* output) noexcept {
    const CallGate gate;
    if (!gate.open()) return 0;
    if (input->data == nullptr) {
        setLastError(ERROR_INVALID_DATA);
        return 0;
    }

    ProviderContext provider = 0;
    HashObject* hash = nullptr;
    uint32_t hashSize = 0;
    uint32_t length = sizeof hashSize;
    // The input is read completely before the output is touched, so the two
    // may be the same record. An output block that cannot be had fails the
    // call with the output as it was.
    const uint32_t result =
        ProvAcquireContext(&provider, nullptr, nullptr, PROV_RSA_FULL, 0) &&
        ProvCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
        ProvHashData(hash, input->data, input->size, 0) &&
        ProvGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<uint8_t*>(&hashSize), &length, 0) &&
        BlobReinit(output, hashSize, 0) &&
        ProvGetHashParam(hash, HP_HASHVAL, output->data, &output->size, 0);

    if (hash != nullptr) ProvDestroyHash(hash);
    if (provider != 0) ProvReleaseContext(provider, 0);
    return result;
}

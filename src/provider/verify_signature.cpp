// File: verify_signature.cpp
//
// The export zqCryptVerifySignature: imports the key, stores the host's
// digest in an MD5 hash object, and runs the provider's signature check. See
// zqcrypt.h for the outcomes.
#include "frame/blobs.h"
#include "frame/call_gate.h"
#include "frame/last_error.h"
#include "provider/key_import.h"
#include "provider/signature.h"

using namespace zq;

uint32_t ZQ_CALL zqCryptVerifySignature(const CryptBlob* signature, const CryptBlob* key,
                                        const CryptBlob* digest, [[maybe_unused]] uint32_t reserved,
                                        uint32_t* matches) noexcept {
    const CallGate gate;
    if (matches == nullptr || !gate.open()) return 0;

    ProviderContext provider = 0;
    KeyObject* keyObject = nullptr;
    HashObject* hash = nullptr;
    uint32_t hashSize = 0;
    // Blobs without the bytes their sizes call for cannot be checked.
    const bool ready =
        !lacksBytes(signature, signature->size / 4) && !lacksBytes(key, key->size) &&
        ProvAcquireContext(&provider, nullptr, nullptr, PROV_RSA_FULL, 0) &&
        ProvImportKey(provider, key->data, key->size, 0, 0, &keyObject) &&
        ProvCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
        ProvGetHashParam(hash, HP_HASHVAL, nullptr, &hashSize, 0) &&
        digest->size == hashSize && !lacksBytes(digest, digest->size) &&
        ProvSetHashParam(hash, HP_HASHVAL, digest->data, 0);

    *matches = 0;
    uint32_t result = 0;
    if (ready) {
        // The thread may hold NTE_BAD_SIGNATURE from an earlier call; only
        // this check's own mismatch may count as one. Any other outcome gives
        // the thread its value back.
        const uint32_t lastError = getLastError();
        setLastError(0);
        if (ProvVerifySignature(hash, signature->data, signature->size, keyObject, nullptr, 0)) {
            *matches = 1;
            result = 1;
        } else {
            result = getLastError() == NTE_BAD_SIGNATURE ? 1 : 0;
        }
        if (*matches == 1 || result == 0) setLastError(lastError);
    }

    if (hash != nullptr) ProvDestroyHash(hash);
    if (keyObject != nullptr) ProvDestroyKey(keyObject);
    if (provider != 0) ProvReleaseContext(provider, 0);
    return result;
}

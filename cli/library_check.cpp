// File: library_check.cpp
//
// The library's check. See library_check.h.
#include "library_check.h"

#include <algorithm>

#include "key_blob.h"
#include "library_blob.h"

namespace zqcli {

LibraryAnswer libraryCheck(const std::vector<uint8_t>& signature, const std::vector<uint8_t>& keyBlob,
                           const Md5Digest& digest) {
    // The library reads a signature in whole 32-bit words, as many as the
    // record's size holds: zero bytes on top make up the last word, and the
    // blob's modulus field as far as the blob holds it (its bit length
    // alone may call for gigabytes).
    std::vector<uint8_t> padded = signature;
    const size_t field = keyBlob.size() >= KeyBlobHeaderBytes
                             ? std::min<size_t>(keyBlobBits(keyBlob) / 8, keyBlob.size() - KeyBlobHeaderBytes)
                             : 0;
    padded.resize((std::max(padded.size(), field) + 3) / 4 * 4, 0);
    const CryptBlob signatureBlob = inputBlob(padded.data(), padded.size());
    const CryptBlob keyRecord = inputBlob(keyBlob.data(), keyBlob.size());
    const CryptBlob digestBlob = inputBlob(digest.data(), digest.size());
    uint32_t matches = 0;
    if (!zqCryptVerifySignature(&signatureBlob, &keyRecord, &digestBlob, 0, &matches)) {
        return LibraryAnswer::CannotCheck;
    }
    return matches ? LibraryAnswer::Match : LibraryAnswer::NoMatch;
}

}  // namespace zqcli

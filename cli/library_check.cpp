// File: library_check.cpp
//
// The library's check. See library_check.h.
#include "library_check.h"

#include "library_blob.h"

namespace zqcli {

LibraryAnswer libraryCheck(const std::vector<uint8_t>& signature, const std::vector<uint8_t>& keyBlob,
                           const Md5Digest& digest) {
    const CryptBlob signatureBlob = inputBlob(signature.data(), signature.size());
    const CryptBlob keyRecord = inputBlob(keyBlob.data(), keyBlob.size());
    const CryptBlob digestBlob = inputBlob(digest.data(), digest.size());
    uint32_t matches = 0;
    if (!zqCryptVerifySignature(&signatureBlob, &keyRecord, &digestBlob, 0, &matches)) {
        return LibraryAnswer::CannotCheck;
    }
    return matches ? LibraryAnswer::Match : LibraryAnswer::NoMatch;
}

}  // namespace zqcli

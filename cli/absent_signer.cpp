// File: absent_signer.cpp
//
// A build with neither libcrypto nor CryptoAPI: keys are read and written,
// but none is made and nothing is signed. See rsa_signer.h.
#include "failure.h"
#include "rsa_signer.h"
#include "subcommand.h"

namespace zqcli {

const char* const signerName = "no cryptography library";
const uint32_t signerFixedExponent = 0;

RsaKey generateRsaKey(uint32_t, uint32_t) { lacksLibcrypto("keygen", "key generation"); }

std::vector<uint8_t> signMd5(const RsaKey&, const Md5Digest&, const std::string&) {
    lacksLibcrypto("sign", "signing");
}

}  // namespace zqcli

// File: pem.h
//
// PEM armour (RFC 7468): DER in Base64 between "-----BEGIN LABEL-----" and
// "-----END LABEL-----" lines. Written as OpenSSL writes it, 64 characters a
// line and LF line ends; read strictly, with CR LF line ends, blanks after
// the BEGIN and END lines and text before the armour allowed, as in files
// other tools write.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace zqcli {

struct PemBlock {
    std::string label;  // "PRIVATE KEY", "RSA PUBLIC KEY", ...
    std::vector<uint8_t> der;
};

// looksLikePem: `bytes` hold a BEGIN line.
bool looksLikePem(const std::vector<uint8_t>& bytes);

// readPem reads the first block in `bytes` (the content of the file
// `name`). A block without its END line, with another label there, with
// headers (an encrypted key) or with anything but Base64 inside throws a
// Failure naming the file.
PemBlock readPem(const std::vector<uint8_t>& bytes, const std::string& name);

// writePem is `der` armoured with `label`.
std::string writePem(const std::string& label, const std::vector<uint8_t>& der);

}  // namespace zqcli

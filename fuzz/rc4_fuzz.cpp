// RC4: the keystream of a key equals OpenSSL's, whether the run goes through
// one call or the pieces the input chooses, in place or into another buffer.
//
// Input: the key length and key, two length bytes and the message, then the
// piece lengths (one byte each; the rest in one piece when they run out).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/rc4.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "engines/rc4.h"
#include "fuzz_support.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const std::vector<uint8_t> key = in.bytes(in.byte() % 260);
    const std::vector<uint8_t> message = in.bytes(in.u16());
    const uint8_t mode = in.byte();

    std::vector<uint8_t> expected(message.size());
    if (!key.empty()) {
        RC4_KEY reference;
        RC4_set_key(&reference, static_cast<int>(key.size()), key.data());
        RC4(&reference, message.size(), message.data(), expected.data());
    }

    zq::Rc4State once, pieces;
    once.setKey(key.data(), static_cast<uint32_t>(key.size()));
    pieces = once;
    std::vector<uint8_t> whole(message.size() + 1, 0xEE);
    once.crypt(static_cast<uint32_t>(message.size()), message.data(), whole.data());
    check(whole.back() == 0xEE);
    whole.pop_back();
    if (!key.empty()) check(whole == expected);

    // Pieces: in place when bit 0 of the mode is set, else into a second buffer.
    std::vector<uint8_t> out(message), source(message);
    size_t at = 0;
    while (at < message.size()) {
        size_t piece = in.empty() ? message.size() - at : in.byte() % 70;
        piece = std::min(piece, message.size() - at);
        const uint8_t* from = (mode & 1) ? out.data() + at : source.data() + at;
        pieces.crypt(static_cast<uint32_t>(piece), from, out.data() + at);
        at += piece;
    }
    check(out == whole && (pieces.i & 0xFF) == (once.i & 0xFF) && (pieces.j & 0xFF) == (once.j & 0xFF));
    return 0;
}

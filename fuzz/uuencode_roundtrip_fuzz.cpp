// zqCryptUUEncode then zqCryptUUDecode on arbitrary bytes: the text has the
// layout of its length (lines of 64 characters ended by CR LF, the zero
// tail), every path writes the same block, and decoding gives the bytes back;
// with the heap refusing an allocation (the input's last byte says which),
// each call gives the same block or fails and leaves its output alone.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "codec/base64_codec.h"
#include "codec/base64_layout.h"
#include "fuzz_support.h"
#include "zqcrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    CryptBlob input{static_cast<uint32_t>(size), 0, size == 0 ? nullptr : bytes.data()};
    CryptBlob text{0, 0, nullptr}, output{0, 0, nullptr};
    if (zqCryptUUEncode(&input, 0, &text) != 1) abort();

    zq::Base64TextLayout layout{};
    if (!zq::Base64TextLayout::of(input.size, layout) || text.size != layout.blockSize) abort();
    for (uint32_t i = 0; i < text.size; ++i) {
        const bool lineEnd = i < layout.textLength && i % 66 >= 64;
        const uint8_t c = text.data[i];
        if (i >= layout.textLength ? c != 0 : lineEnd ? c != (i % 66 == 64 ? '\r' : '\n') : c == 0) abort();
    }
    std::vector<uint8_t> block(layout.blockSize);
    for (zq::Base64Path path : {zq::Base64Path::scalar, zq::Base64Path::ssse3, zq::Base64Path::avx2,
                                 zq::Base64Path::avx512}) {
        zq::base64EncodeText(input.data, input.size, layout, block.data(), path);
        if (memcmp(block.data(), text.data, text.size) != 0) abort();
    }

    if (zqCryptUUDecode(&text, 0, &output) != 1) abort();
    if (output.size != size || (size != 0 && memcmp(output.data, data, size) != 0)) abort();

    // Both again with an allocation failing, as the input's last byte says.
    const fuzz::Fault fault = fuzz::Fault::fromLastByte(data, size);
    fuzz::serviceUnderFault(fault, text, [&](CryptBlob* out) { return zqCryptUUEncode(&input, 0, out); });
    fuzz::serviceUnderFault(fault, output, [&](CryptBlob* out) { return zqCryptUUDecode(&text, 0, out); });

    zqCryptBlobClear(&text);
    zqCryptBlobClear(&output);
    return 0;
}

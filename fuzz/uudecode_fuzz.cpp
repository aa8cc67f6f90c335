// zqCryptUUDecode on arbitrary bytes as text, with any size up to the bytes
// given. The bytes past the blob's size are poisoned, so that reading them
// stops the run; the output's block comes from the library's heap, checked
// by AddressSanitizer. Every path must yield the same bytes as the export.
//
// Input: byte 0, when odd, makes the blob's size the whole rest; when even,
// bytes 0 and 1 choose a size from 0 to the length of the rest. The text is
// what follows them. The call is then made again with the heap refusing an
// allocation, as the last byte says (fuzz_support.h).
#include <sanitizer/asan_interface.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "codec/base64_codec.h"
#include "codec/base64_layout.h"
#include "fuzz_support.h"
#include "zqcrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t length = size - 2;
    size_t textSize = length;
    if ((data[0] & 1) == 0) textSize = (static_cast<size_t>(data[0] >> 1) | static_cast<size_t>(data[1]) << 7) % (length + 1);

    std::vector<uint8_t> buffer(data + 2, data + size);
    ASAN_POISON_MEMORY_REGION(buffer.data() + textSize, length - textSize);

    CryptBlob text{static_cast<uint32_t>(textSize), 0, textSize == 0 ? nullptr : buffer.data()};
    CryptBlob output{0, 0, nullptr};
    if (zqCryptUUDecode(&text, 0, &output) != 1 || output.data == nullptr) abort();
    if (output.size > zq::base64DecodedCapacity(text.size)) abort();

    std::vector<uint8_t> scratch(zq::base64DecodedCapacity(text.size));
    for (zq::Base64Path path : {zq::Base64Path::scalar, zq::Base64Path::ssse3, zq::Base64Path::avx2,
                                 zq::Base64Path::avx512}) {
        const uint32_t count = zq::base64DecodeText(text.data, text.size, scratch.data(), path);
        if (count != output.size || (count != 0 && memcmp(scratch.data(), output.data, count) != 0)) abort();
    }

    // Again with an allocation failing, as the input's last byte says.
    fuzz::serviceUnderFault(fuzz::Fault::fromLastByte(data, size), output,
                            [&](CryptBlob* out) { return zqCryptUUDecode(&text, 0, out); });

    zqCryptBlobClear(&output);
    ASAN_UNPOISON_MEMORY_REGION(buffer.data() + textSize, length - textSize);
    return 0;
}

// File: file_digest.cpp
//
// Streaming MD5. See file_digest.h.
#include "file_digest.h"

#include <vector>

#include "engines/md5.h"

namespace zqcli {

Md5Digest md5OfInput(InputFile& input) {
    // A multiple of the 64-byte block, so that the engine compresses every
    // piece straight from the buffer and keeps only the last one's tail.
    constexpr size_t pieceSize = 1 << 18;
    std::vector<uint8_t> buffer(pieceSize);
    zq::Md5Context context;
    zq::Md5Context::begin(context);
    for (;;) {
        const size_t count = input.read(buffer.data(), buffer.size());
        zq::Md5Context::feed(context, buffer.data(), static_cast<uint32_t>(count));
        if (count < buffer.size()) break;
    }
    Md5Digest digest;
    zq::Md5Context::finish(digest.data(), context);
    return digest;
}

Md5Digest md5OfFile(const std::string& name, ProgressMode progress) {
    InputFile input(name, progress);
    return md5OfInput(input);
}

}  // namespace zqcli

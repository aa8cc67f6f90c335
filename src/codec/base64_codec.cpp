// File: base64_codec.cpp
//
// The choice between the codec's paths. The vectorised ones do whole lines
// (encoding) and runs of 64 digits (decoding); the scalar path does the
// rest, and all of it when no vector unit is there. See base64_codec.h.
#include "codec/base64_codec.h"

#include <string.h>

#include "codec/base64_cursor.h"
#include "codec/base64_scalar.h"
#include "codec/base64_simd.h"
#include "codec/cpu_features.h"

namespace zq {
namespace {

// The path that will actually run for `path` on this processor.
Base64Path resolve(Base64Path path) noexcept {
    const CpuFeatures cpu = cpuFeatures();
    switch (path) {
        case Base64Path::automatic:
            if (cpu.avx512vbmi) return Base64Path::avx512;
            if (cpu.avx2) return Base64Path::avx2;
            if (cpu.ssse3) return Base64Path::ssse3;
            return Base64Path::scalar;
        case Base64Path::ssse3:
            return cpu.ssse3 ? path : Base64Path::scalar;
        case Base64Path::avx2:
            return cpu.avx2 ? path : Base64Path::scalar;
        case Base64Path::avx512:
            return cpu.avx512vbmi ? path : Base64Path::scalar;
        case Base64Path::scalar:
            break;
    }
    return Base64Path::scalar;
}

// Between two tries of the vectorised decoder after it has stopped, the
// scalar one decodes up to this many groups (a line's worth), so that odd
// text costs one failed try per line at most.
constexpr uint32_t ScalarGroupsBetweenRuns = 16;

}  // namespace

bool base64PathAvailable(Base64Path path) noexcept {
    return path == Base64Path::automatic || resolve(path) == path;
}

void base64EncodeText(const uint8_t* input, uint32_t n, const Base64TextLayout& layout,
                      uint8_t* block, Base64Path path) noexcept {
    // The zero tail first: the block's last 8 bytes (all 4 of the empty
    // input's), of which the text then overwrites those it reaches. The tail
    // is 4 or 6 bytes, so this is two word stores, not a call.
    const uint32_t zero[2] = {0, 0};
    if (layout.blockSize >= 8) memcpy(block + layout.blockSize - 8, zero, 8);
    else memcpy(block, zero, 4);
    uint32_t lines = 0;
    switch (resolve(path)) {
#if ZQ_BASE64_VECTOR_PATHS
        case Base64Path::avx512:
            lines = n / Base64InputPerLine;
            base64EncodeLinesAvx512(input, lines, block);
            break;
        case Base64Path::avx2:
            lines = n / Base64InputPerLine;
            base64EncodeLinesAvx2(input, lines, block);
            break;
        case Base64Path::ssse3:
            lines = n / Base64InputPerLine;
            base64EncodeLinesSsse3(input, lines, block);
            break;
#endif
        default:
            break;
    }
    // The lines done cover a multiple of 3 bytes, so the rest encodes as a
    // text of its own that starts at a line boundary.
    const size_t done = static_cast<size_t>(lines) * Base64InputPerLine;
    base64EncodeScalar(input + done, n - static_cast<uint32_t>(done),
                       block + static_cast<size_t>(lines) * Base64TextPerLine);
}

uint32_t base64DecodeText(const uint8_t* text, uint32_t size, uint8_t* out, Base64Path path) noexcept {
    Base64DecodeCursor cursor{text, size, 0, out, 0};
    switch (resolve(path)) {
#if ZQ_BASE64_VECTOR_PATHS
        case Base64Path::avx512:
            do base64DecodeRunsAvx512(cursor);
            while (!base64DecodeGroupsScalar(cursor, ScalarGroupsBetweenRuns));
            break;
        case Base64Path::avx2:
            do base64DecodeRunsAvx2(cursor);
            while (!base64DecodeGroupsScalar(cursor, ScalarGroupsBetweenRuns));
            break;
        case Base64Path::ssse3:
            do base64DecodeRunsSsse3(cursor);
            while (!base64DecodeGroupsScalar(cursor, ScalarGroupsBetweenRuns));
            break;
#endif
        default:
            while (!base64DecodeGroupsScalar(cursor, UINT32_MAX)) {
            }
            break;
    }
    return cursor.count;
}

}  // namespace zq

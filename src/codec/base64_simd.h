// File: base64_simd.h
//
// The vectorised paths of the Base64 codec, for SSSE3, AVX2 and AVX-512
// (with VBMI, the byte permutes). They do only
// the regular bulk of the work: the encoders whole lines (48 bytes in, 64
// characters and CR LF out), the decoders runs of 64 digits, where the group
// rules come down to plain arithmetic. Everything else is left to the scalar
// path (base64_scalar.h), and the results are byte for byte the same.
//
// Each function may be called only when cpuFeatures() reports its
// instruction set; they are compiled for it whatever the target's baseline.
#pragma once

#include <stdint.h>

#include "codec/base64_cursor.h"

namespace zq {

// base64EncodeLinesSsse3, base64EncodeLinesAvx2, base64EncodeLinesAvx512 write
// `lines` complete lines
// of text for the 48·`lines` bytes at `input`: 64 characters and CR LF each,
// 66·`lines` bytes in all. They read and write nothing outside those bytes.
void base64EncodeLinesSsse3(const uint8_t* input, uint32_t lines, uint8_t* text) noexcept;
void base64EncodeLinesAvx2(const uint8_t* input, uint32_t lines, uint8_t* text) noexcept;
void base64EncodeLinesAvx512(const uint8_t* input, uint32_t lines, uint8_t* text) noexcept;

// base64DecodeRunsSsse3, base64DecodeRunsAvx2, base64DecodeRunsAvx512 decode
// from `cursor` as long as
// its next 64 text bytes are all digits (no "=", no blank, no zero byte):
// such a run is 16 whole groups of 3 bytes each, and the blanks behind it
// are skipped as after any group. They return at the first position where
// fewer than 64 bytes remain or a run holds anything else, having decoded
// nothing of it; the scalar path goes on from there.
void base64DecodeRunsSsse3(Base64DecodeCursor& cursor) noexcept;
void base64DecodeRunsAvx2(Base64DecodeCursor& cursor) noexcept;
void base64DecodeRunsAvx512(Base64DecodeCursor& cursor) noexcept;

}  // namespace zq

// File: base64_codec.h
//
// Whole Base64 texts: the encoder writes the block of text for a byte string
// (base64_layout.h gives its shape), the decoder reads a text blob's bytes
// back into bytes. Both take the fastest path this processor offers, or a
// path named by the caller, and every path gives the same bytes.
#pragma once

#include <stdint.h>

#include "codec/base64_layout.h"

namespace zq {

// Base64Path: how the codec does the bulk of its work. `automatic` picks the
// best the processor has (AVX-512 VBMI, then AVX2, then SSSE3, then scalar);
// the others force one path, so that tests and benchmarks can compare them.
enum class Base64Path : uint32_t { automatic, scalar, ssse3, avx2, avx512 };

// base64PathAvailable tells whether this processor can run `path`
// (`automatic` and `scalar` always).
bool base64PathAvailable(Base64Path path) noexcept;

// base64EncodeText writes the whole block for the `n` bytes at `input` to
// `block`: the layout's textLength characters (lines of 64 and their CR LF),
// then zero bytes up to its blockSize. `layout` is Base64TextLayout::of(n).
// `input` is not read when `n` is 0. A forced path that the processor lacks
// is replaced by the scalar one.
void base64EncodeText(const uint8_t* input, uint32_t n, const Base64TextLayout& layout,
                      uint8_t* block, Base64Path path) noexcept;

// base64DecodeText decodes the text in the `size` bytes at `text` into `out`,
// which holds base64DecodedCapacity(size) bytes, and returns the number of
// bytes decoded. The text ends at its first zero byte or after `size` bytes;
// base64_scalar.h gives the rules, including those for a final group cut
// short. Nothing outside `text[0..size)` and that capacity is touched; `text`
// is not read when `size` is 0. A forced path that the processor lacks is
// replaced by the scalar one.
uint32_t base64DecodeText(const uint8_t* text, uint32_t size, uint8_t* out, Base64Path path) noexcept;

}  // namespace zq

// File: base64_scalar.h
//
// The table-driven scalar paths of the Base64 codec. They follow the group
// rules of base64.h exactly, on every target, and are what the vectorised
// paths fall back to for everything but whole clean lines.
#pragma once

#include <stdint.h>

#include "codec/base64_cursor.h"

namespace zq {

// base64EncodeScalar writes the text of the `n` bytes at `input` to `text`:
// complete lines of 64 characters, each followed by CR LF, then the last
// characters (with CR LF if they too make a complete line). It writes
// exactly Base64TextLayout::textLength bytes and no terminating zeros.
// `input` is not read when `n` is 0.
void base64EncodeScalar(const uint8_t* input, uint32_t n, uint8_t* text) noexcept;

// base64DecodeGroupsScalar decodes up to `maxGroups` groups from `cursor`
// and returns true when the text has ended (only `cursor.count` then
// matters), false when it stopped only because `maxGroups` were done (the
// cursor is then at the next group, the blanks before it skipped).
//
// The text ends at its first zero byte, or at `cursor.end` when it has none.
// A final group cut short by that end, with j of its four characters
// present, yields nothing when j is 1, and when j is 2 or 3 what the same
// characters yield padded with "=" to four: "YQ" and "YQ=" give "a", "YWI"
// gives "ab". It never reads at or after `cursor.end`, nor writes past the
// output block's base64DecodedCapacity(cursor.end) bytes.
bool base64DecodeGroupsScalar(Base64DecodeCursor& cursor, uint32_t maxGroups) noexcept;

}  // namespace zq

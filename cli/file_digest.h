// File: file_digest.h
//
// The MD5 digest of a whole input of any size, streamed through the
// library's own MD5 engine in pieces of one fixed buffer. The library's
// export hashes one buffer of at most 4 GiB; the engine behind it is fed
// piece by piece here, so memory stays the same for any input size.
#pragma once

#include <stdint.h>

#include <array>

#include "input.h"

namespace zqcli {

using Md5Digest = std::array<uint8_t, 16>;

// md5OfInput reads `input` to its end and returns its digest; a read error
// throws a Failure.
Md5Digest md5OfInput(InputFile& input);

// md5OfFile opens `name` ("-" for standard input) and returns its digest,
// with a progress line in `progress` mode.
Md5Digest md5OfFile(const std::string& name, ProgressMode progress = ProgressMode::Never);

}  // namespace zqcli

// File: standard_output.h
//
// Standard output, every write to it checked. A write that fails is not
// reported at once: the first error is kept with the errno of the call that
// failed (a later errno says nothing about it), and the program reports it
// when it closes standard output, once, as coreutils does. An output that
// should stop at the first failed write (a long stream) throws at once with
// failStandardOutput.
#pragma once

#include <stddef.h>

#include <string>

namespace zqcli {

// writeStandardOutput appends `count` bytes to standard output; false when
// standard output has failed, now or before.
bool writeStandardOutput(const void* bytes, size_t count);
inline bool writeStandardOutput(const std::string& text) { return writeStandardOutput(text.data(), text.size()); }

// flushStandardOutput writes out what is buffered; false when standard
// output has failed, now or before.
bool flushStandardOutput();

// failStandardOutput throws the Failure of the first error kept.
[[noreturn]] void failStandardOutput();

// closeStandardOutput flushes and closes standard output and throws a
// Failure when any write to it, or closing it, failed.
void closeStandardOutput();

}  // namespace zqcli

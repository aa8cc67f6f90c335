// File: input.h
//
// Reading what the user names: a file or, for "-", standard input, read in
// pieces so that inputs of any size take constant memory.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <optional>
#include <string>
#include <vector>

#include "progress.h"

namespace zqcli {

// InputFile: an open input, closed when it goes out of scope.
class InputFile {
public:
    // Opens `name`, or standard input for "-". A file that cannot be opened,
    // or a directory, throws a Failure naming it. What is read shows on a
    // progress line in `progress` mode, of the input's size when it is a
    // regular file.
    explicit InputFile(const std::string& name, ProgressMode progress = ProgressMode::Never);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // read fills `buffer` with up to `size` bytes and returns how many; fewer
    // than `size` only at the end of the input. A read error throws.
    size_t read(uint8_t* buffer, size_t size);

    const std::string& name() const { return name_; }

private:
    // open opens the file `name_`.
    void open();

    std::string name_;
    FILE* file_;
    std::optional<ProgressLine> progress_;
};

// readSmallFile is the whole content of `name` (a key or a signature, "-"
// for standard input); more than `limit` bytes throws a Failure.
std::vector<uint8_t> readSmallFile(const std::string& name, size_t limit);

// useBinaryStandardStreams makes the standard streams carry bytes as they
// are (Windows would otherwise turn LF into CR LF). Elsewhere it does
// nothing.
void useBinaryStandardStreams();

}  // namespace zqcli

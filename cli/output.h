// File: output.h
//
// Where results go: standard output, or a file that appears only when it is
// complete. A file output is written to a new temporary file beside its
// target and renamed onto the target by `commit`; an output that is never
// committed (an error, an interrupted subcommand) is removed, and the target
// keeps whatever it held before.
#pragma once

#include <stdio.h>

#include <string>

namespace zqcli {

class Output {
public:
    // Writes to standard output when `target` is "" or "-", else to a
    // temporary file beside `target`, made at once (a folder that is missing
    // or not writable throws here, before any work is done). `ownerOnly`
    // makes the file readable by its owner only, for private keys.
    explicit Output(const std::string& target, bool ownerOnly = false);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // write appends `count` bytes; an error throws a Failure.
    void write(const void* bytes, size_t count);
    void write(const std::string& text) { write(text.data(), text.size()); }

    // commit flushes the output and, for a file, renames it onto the target.
    void commit();

private:
    [[noreturn]] void failWriting(int error);

    std::string target_;
    std::string temporary_;
    FILE* file_;
};

}  // namespace zqcli

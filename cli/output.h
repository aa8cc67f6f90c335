// File: output.h
//
// Where results go: standard output, a file written directly (a FIFO or a
// device), or a regular file that appears only when it is complete. A
// regular file is written to a new temporary file beside it (beside a
// link's target, for a symbolic link) and renamed onto it by `commit`; an
// output that is never committed (an error, an interrupted subcommand) is
// removed, and the target keeps whatever it held before.
#pragma once

#include <stdio.h>

#include <string>

namespace zqcli {

// removePendingOutput removes the temporary file being written, if any, for
// a program that ends without unwinding. It allocates nothing.
void removePendingOutput();

class Output {
public:
    // Writes to standard output when `target` is "-", else to the file
    // `target` as output_target.h sorts it. The file, or the temporary file,
    // is opened at once: a target that cannot be written throws here, before
    // any work is done. A replaced file's permissions are kept (and its
    // owner, for root); `ownerOnly` keeps them to the owner's, for private
    // keys (on Windows, a DACL granting the current user alone).
    explicit Output(const std::string& target, bool ownerOnly = false);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // write appends `count` bytes; an error throws a Failure.
    void write(const void* bytes, size_t count);
    void write(const std::string& text) { write(text.data(), text.size()); }

    // commit flushes the output and, for a temporary file, renames it onto
    // the target.
    void commit();

private:
    [[noreturn]] void failWriting(int error);

    std::string target_;     // the name given
    std::string path_;       // the file renamed onto: links followed
    std::string temporary_;  // "" when there is none
    FILE* file_;
};

}  // namespace zqcli

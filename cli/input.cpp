// File: input.cpp
//
// Input files. See input.h.
#include "input.h"

#include <errno.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "failure.h"
#include "system_path.h"

namespace zqcli {

namespace {

// regularSize is the size of the open file `file` when it is a regular
// file, else -1.
long long regularSize(FILE* file) {
#ifdef _WIN32
    struct _stati64 status;
    const bool known = _fstati64(_fileno(file), &status) == 0;
#else
    struct stat status;
    const bool known = fstat(fileno(file), &status) == 0;
#endif
    return known && S_ISREG(status.st_mode) ? static_cast<long long>(status.st_size) : -1;
}

}  // namespace

InputFile::InputFile(const std::string& name, ProgressMode progress) : name_(name), file_(stdin) {
    if (name != "-") open();
    if (progress != ProgressMode::Never) progress_.emplace(progress, name, regularSize(file_));
}

void InputFile::open() {
    // A directory opens for reading on Linux and fails only at the first
    // read, and not at all alike elsewhere: name it here, the same way on
    // every system.
    FileStatus status;
    if (fileStatus(name_, status) == 0 && S_ISDIR(status.st_mode)) {
        failSystem(quoteName(name_), EISDIR);
    }
    file_ = openFile(name_, "rb");
    if (file_ == nullptr) failSystem(quoteName(name_), errno);
    // The pieces are large: read them straight into the caller's buffer.
    setvbuf(file_, nullptr, _IONBF, 0);
}

InputFile::~InputFile() {
    if (file_ != stdin) fclose(file_);
}

size_t InputFile::read(uint8_t* buffer, size_t size) {
    size_t filled = 0;
    while (filled < size) {
        const size_t count = fread(buffer + filled, 1, size - filled, file_);
        filled += count;
        if (count != 0) continue;
        if (ferror(file_)) failSystem(quoteName(name_), errno);
        break;
    }
    if (progress_) progress_->advance(filled);
    return filled;
}

std::vector<uint8_t> readSmallFile(const std::string& name, size_t limit) {
    InputFile input(name);
    std::vector<uint8_t> content(limit + 1);
    content.resize(input.read(content.data(), content.size()));
    if (content.size() > limit) {
        fail(quoteName(name), "larger than " + std::to_string(limit) + " bytes; not a key or a signature");
    }
    return content;
}

void useBinaryStandardStreams() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

}  // namespace zqcli

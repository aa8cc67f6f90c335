// File: standard_output.cpp
//
// Checked writes to standard output. See standard_output.h.
#include "standard_output.h"

#include <errno.h>
#include <stdio.h>

#include "failure.h"

namespace zqcli {
namespace {

// The errno of the first write, flush or close of standard output that
// failed; 0 while none has. -1 for an error flag that a call unchecked here
// set, whose errno is lost.
int firstError = 0;
bool closed = false;  // stdout is closed: a message on stderr must not flush it

bool keep(bool failed, int error) {
    if (failed && firstError == 0) firstError = error != 0 ? error : -1;
    return firstError == 0;
}

}  // namespace

bool writeStandardOutput(const void* bytes, size_t count) {
    // stdio reports a failed flush inside fwrite by a short count, or only
    // by the error flag when the bytes all went into the buffer.
    const bool failed = count != 0 && (fwrite(bytes, 1, count, stdout) != count || ferror(stdout));
    return keep(failed, errno);
}

bool flushStandardOutput() {
    if (closed) return firstError == 0;
    const bool failed = fflush(stdout) != 0;
    return keep(failed, errno) && keep(ferror(stdout) != 0, 0);
}

void failStandardOutput() {
    throw Failure{"standard output", firstError > 0 ? systemReason(firstError) : "write error", ExitError,
                  firstError > 0 ? firstError : 0};
}

void closeStandardOutput() {
    const bool flushed = flushStandardOutput();
    closed = true;
    const bool failed = fclose(stdout) != 0;
    if (!flushed || !keep(failed, errno)) failStandardOutput();
}

}  // namespace zqcli

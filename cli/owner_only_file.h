// File: owner_only_file.h
//
// Files that only their owner may open, for private keys, on Windows. A
// POSIX system makes them with a mode (output.cpp); Windows decides by the
// file's security descriptor, which a new file otherwise inherits from its
// folder, often readable by every user. Here the file is made with a
// protected DACL (nothing inherited) that holds one entry: full access for
// the user the process runs as. Made so from its first moment, it leaves no
// window in which another user could open it.
#pragma once

#ifdef _WIN32
#include <stdio.h>

#include <string>

namespace zqcli {

// createOwnerOnlyFile makes the new file `name` (it must not exist) for
// writing, readable and writable by the current user alone; null with errno
// set (EEXIST when the name is taken) on failure.
FILE* createOwnerOnlyFile(const std::string& name);

}  // namespace zqcli
#endif

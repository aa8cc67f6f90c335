// File: owner_only_file.h
//
// New files with chosen permissions on Windows. A POSIX system sets a
// file's mode (output.cpp); Windows decides by the file's security
// descriptor, which a new file otherwise inherits from its folder, often
// readable by every user. A private key's file is made with a protected
// DACL (nothing inherited) that holds one entry: full access for the user
// the process runs as. A file that replaces another is made with the DACL
// of the one it replaces, which a rename would otherwise drop. Made so from
// its first moment, a file leaves no window in which another user could
// open it.
#pragma once

#ifdef _WIN32
#include <stdio.h>

#include <string>

namespace zqcli {

// createOwnerOnlyFile makes the new file `name` (it must not exist) for
// writing, readable and writable by the current user alone; null with errno
// set (EEXIST when the name is taken) on failure.
FILE* createOwnerOnlyFile(const std::string& name);

// createFileLike makes the new file `name` as createOwnerOnlyFile does, with
// the DACL of the existing file `model`; when that cannot be read (a file
// system without permissions), with what the folder hands on.
FILE* createFileLike(const std::string& name, const std::string& model);

}  // namespace zqcli
#endif

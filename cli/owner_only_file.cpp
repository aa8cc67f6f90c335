// File: owner_only_file.cpp
//
// Owner-only files on Windows. See owner_only_file.h.
#ifdef _WIN32
#include "owner_only_file.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <vector>

#include "system_path.h"

namespace zqcli {
namespace {

// currentUser is the token's user record (TOKEN_USER, its SID inside);
// empty when the token cannot be read.
std::vector<uint8_t> currentUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<uint8_t> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
    CloseHandle(token);
    return user;
}

int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ENOENT;
        default: return EACCES;
    }
}

// createWith makes the new file `name` for writing with the security
// descriptor `descriptor` (null: the folder's); null with errno set on
// failure.
FILE* createWith(const std::string& name, PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const HANDLE handle = CreateFileW(widePath(name).c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoOf(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EACCES;
        return nullptr;
    }
    FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
}

}  // namespace

FILE* createOwnerOnlyFile(const std::string& name) {
    const std::vector<uint8_t> user = currentUser();
    if (user.empty()) {
        errno = EACCES;
        return nullptr;
    }
    PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    // One ACE: ACCESS_ALLOWED_ACE ends where the SID begins, on its first word.
    std::vector<uint8_t> list(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid));
    PACL acl = reinterpret_cast<PACL>(list.data());
    SECURITY_DESCRIPTOR descriptor;
    const bool made = InitializeAcl(acl, static_cast<DWORD>(list.size()), ACL_REVISION) &&
                      AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
                      InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                      SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
                      SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    if (!made) {
        errno = EACCES;
        return nullptr;
    }
    return createWith(name, &descriptor);
}

FILE* createFileLike(const std::string& name, const std::string& model) {
    // The DACL alone (with whether it is protected): the owner is whoever
    // makes the file, as on a POSIX system that is not root.
    const std::wstring modelPath = widePath(model);
    DWORD size = 0;
    GetFileSecurityW(modelPath.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<uint8_t> descriptor(size);
    if (size == 0 ||
        !GetFileSecurityW(modelPath.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size)) {
        return createWith(name, nullptr);
    }
    return createWith(name, descriptor.data());
}

}  // namespace zqcli
#endif

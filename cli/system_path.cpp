// File: system_path.cpp
//
// File names in UTF-8 on every system. See system_path.h.
#include "system_path.h"

#include <errno.h>

#include <vector>

#include "failure.h"

#ifdef _WIN32
// shellapi.h needs windows.h before it.
#include <windows.h>

#include <shellapi.h>
#endif

namespace zqcli {

#ifdef _WIN32
namespace {

// utf8Text is `wide` in UTF-8, with `flags` for WideCharToMultiByte; empty
// when it cannot be converted (WC_ERR_INVALID_CHARS: a lone surrogate).
std::string utf8Text(const wchar_t* wide, DWORD flags) {
    const int size = WideCharToMultiByte(CP_UTF8, flags, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, flags, wide, -1, text.data(), size, nullptr, nullptr);
    text.pop_back();  // the terminating zero
    return text;
}

}  // namespace

std::wstring widePath(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int length = static_cast<int>(utf8.size());
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), size);
    return wide;
}

void utf8Arguments(int& argc, char**& argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return;  // the C runtime's arguments, then
    for (int i = 0; i < count; ++i) {
        // A lone surrogate would become U+FFFD: the name of another file.
        texts.push_back(utf8Text(wide[i], WC_ERR_INVALID_CHARS));
        if (texts.back().empty() && wide[i][0] != 0) {
            const std::string shown = utf8Text(wide[i], 0);
            LocalFree(wide);
            fail(quoteName(shown), "a name that is not valid UTF-16");
        }
    }
    LocalFree(wide);
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}

FILE* openFile(const std::string& name, const char* mode) {
    return _wfopen(widePath(name).c_str(), widePath(mode).c_str());
}

int fileStatus(const std::string& name, FileStatus& status) {
    return _wstati64(widePath(name).c_str(), &status);
}

int removeFile(const std::string& name) { return _wremove(widePath(name).c_str()); }

#else

void utf8Arguments(int&, char**&) {}

FILE* openFile(const std::string& name, const char* mode) { return fopen(name.c_str(), mode); }

int fileStatus(const std::string& name, FileStatus& status) { return stat(name.c_str(), &status); }

int removeFile(const std::string& name) { return remove(name.c_str()); }

#endif

}  // namespace zqcli

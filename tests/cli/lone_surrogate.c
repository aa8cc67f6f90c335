/* lone_surrogate.exe COMMAND LINE: runs the command line with every "{D800}"
 * in it replaced by a lone surrogate (U+D800 without its pair), which is no
 * character and which no Unix command line can carry into a Wine process,
 * and exits with the command's exit status. The tool's tests run it to give
 * the Windows tool a name that is not valid UTF-16. */
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

int main(void) {
    const wchar_t* line = GetCommandLineW();
    /* This program's own name, quoted or not, and the blanks after it. */
    if (*line == L'"') {
        line = wcschr(line + 1, L'"');
        line = line != NULL ? line + 1 : L"";
    } else {
        while (*line != 0 && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    const size_t length = wcslen(line);
    wchar_t* command = malloc((length + 1) * sizeof *command);
    if (command == NULL) return 3;
    size_t out = 0;
    for (size_t in = 0; in <= length;) {
        if (wcsncmp(line + in, L"{D800}", 6) == 0) {
            command[out++] = 0xD800;
            in += 6;
        } else {
            command[out++] = line[in++];
        }
    }
    STARTUPINFOW startup = {.cb = sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    const BOOL started = CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    free(command);
    if (!started) return 3;
    DWORD code = 3;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return (int)code;
}

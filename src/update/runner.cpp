#include "update/runner.h"

#include "common/limits.h"
#include "os/oscalls.h"
#include "common/dbcs.h"
#include "common/strbuf.h"
#include "update/cmdline.h"

#include <string.h>

// The record's size is its cb: 68 in the 32-bit build, 104 in the 64-bit one.
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "32-bit STARTUPINFOA is 68 bytes");

namespace {

// The system's own interpreter, by its full path: the program search would
// try the folder vorpkg.exe was started from and the work directory first,
// where anyone who could write there may have put a cmd.exe of their own.
// 0 when it is formed, else the error to return.
int InterpreterPath(char* path, size_t size) {
    memset(path, 0, size);
    UINT length = g_os.GetSystemDirectoryA(path, static_cast<UINT>(size));
    if (length == 0) return static_cast<int>(g_os.GetLastError());
    bool formed = length < size && StrAppend(path, size, EndsInBackslash(path, AnsiLeadByte) ? "cmd.exe" : "\\cmd.exe");
    return formed ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

}  // namespace

int RunCommand(const char* command, RunEnd* end) {
    RunEnd ignored;
    if (end == nullptr) end = &ignored;
    char line[kPathSize];
    memset(line, 0, sizeof line);
    *end = kRunNotStarted;
    if (!ComposeInterpreterLine(line, sizeof line, command)) return ERROR_FILENAME_EXCED_RANGE;
    char interpreter[kSysDirSize];
    int notFormed = InterpreterPath(interpreter, sizeof interpreter);
    if (notFormed != 0) return notFormed;

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    if (!g_os.CreateProcessA(interpreter, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return static_cast<int>(g_os.GetLastError());
    *end = kRunEnded;

    DWORD exitCode = 0;
    int result;
    // Until the wait succeeds the command may still be at work (writing its
    // log): its exit code is not to be had either.
    if (g_os.WaitForSingleObject(process.hProcess, INFINITE) == WAIT_FAILED) {
        *end = kRunNotAwaited;
        result = static_cast<int>(g_os.GetLastError());
    } else if (g_os.GetExitCodeProcess(process.hProcess, &exitCode))
        result = static_cast<int>(exitCode);
    else
        result = static_cast<int>(g_os.GetLastError());
    g_os.CloseHandle(process.hProcess);
    g_os.CloseHandle(process.hThread);
    return result;
}

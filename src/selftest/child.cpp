#include "selftest/child.h"

#include "common/strbuf.h"

#include <string.h>

const DWORD kWaitMs = 120000;

bool StartChild(const char* exe, const char* args, const char* startDir, const char* outPath, Child* child) {
    memset(child, 0, sizeof *child);
    if (!Join(child->outPath, sizeof child->outPath, outPath, "")) return false;
    char line[2 * kPath];
    const char* parts[] = {"\"", exe, "\"", *args != '\0' ? " " : "", args};
    if (!StrJoin(line, sizeof line, parts, 5)) return false;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                            nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION started = {};
    // A network folder is handed on as this program's own current directory:
    // Wine starts a child given one by name in the Windows directory instead.
    char back[kPath];
    bool network = startDir[0] == '\\' && startDir[1] == '\\';
    DWORD n = network ? GetCurrentDirectoryA(sizeof back, back) : 1;
    bool there = n > 0 && n < sizeof back && (!network || SetCurrentDirectoryA(startDir));
    BOOL ok = there && CreateProcessA(exe, line, nullptr, nullptr, TRUE, 0, nullptr, network ? nullptr : startDir,
                                      &startup, &started);
    if (network && there) (void)SetCurrentDirectoryA(back);
    CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (!ok) return false;
    CloseHandle(started.hThread);
    child->process = started.hProcess;
    return true;
}

bool FinishChild(Child* child) {
    if (WaitForSingleObject(child->process, kWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(child->process, 255);
        (void)WaitForSingleObject(child->process, kWaitMs);
        child->problem = "vorpkg did not end within two minutes (ended by the self-test)";
    } else if (!GetExitCodeProcess(child->process, &child->exitCode)) {
        child->problem = "vorpkg's exit code cannot be read";
    }
    CloseHandle(child->process);
    child->process = nullptr;
    if (child->problem != nullptr) return false;
    long length = ReadBytesAt(child->outPath, 0, child->output, sizeof child->output);
    if (length < 0) {
        child->problem = "vorpkg's console output cannot be read, or is too long";
        return false;
    }
    // Lines are compared as C strings: whatever followed a zero byte would go unseen.
    if (strlen(child->output) != static_cast<size_t>(length)) {
        child->problem = "vorpkg wrote a zero byte to its console";
        return false;
    }
    if (!SplitLines(child->output, child->lines, kMaxLines, &child->lineCount)) {
        child->problem = "vorpkg wrote too many console lines";
        return false;
    }
    return true;
}

// A faulty vorpkg.exe for the self-test's own test: it runs the real
// vorpkg.exe beside it (for "bytewise" the build that reads every byte as a
// character) and then alters the one thing VORPKG_FAULT names, so that the
// scenario checking that thing must FAIL.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

char g_out[65536];

long Size(const char* path) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(path, &found);
    if (h == INVALID_HANDLE_VALUE) return -1;
    FindClose(h);
    return static_cast<long>(found.nFileSizeLow);
}

long ReadAll(const char* path, char* buf, size_t size) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) return -1;
    long n = static_cast<long>(fread(buf, 1, size - 1, f));
    fclose(f);
    buf[n] = '\0';
    return n;
}

bool WriteAll(const char* path, const char* mode, const char* bytes, size_t n) {
    FILE* f = fopen(path, mode);
    if (f == nullptr) return false;
    bool ok = fwrite(bytes, 1, n, f) == n;
    return fclose(f) == 0 && ok;
}

}  // namespace

int main() {
    const char* fault = getenv("VORPKG_FAULT");
    if (fault == nullptr) fault = "";
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    char* slash = n > 0 && n < MAX_PATH ? strrchr(exe, '\\') : nullptr;
    if (slash == nullptr) return 99;
    strcpy(slash + 1, strcmp(fault, "bytewise") == 0 ? "vorpkg-bytewise.exe" : "vorpkg.exe");

    // The arguments as given, after this program's name.
    const char* args = GetCommandLineA();
    if (*args == '"') {
        const char* close = strchr(args + 1, '"');
        args = close != nullptr ? close + 1 : args + strlen(args);
    } else {
        args += strcspn(args, " \t");
    }
    args += strspn(args, " \t");
    const bool inPlace = *args == '\0';
    const bool staged = !inPlace && strchr(args, ' ') == nullptr && strcmp(args, "/?") != 0;

    const char* drive = getenv("SystemDrive");
    char log[MAX_PATH];
    char out[MAX_PATH];
    char line[2 * MAX_PATH];
    char temp[MAX_PATH];
    snprintf(log, sizeof log, "%s\\QVLOG\\QV.log", drive != nullptr ? drive : "C:");
    GetTempPathA(sizeof temp, temp);
    snprintf(out, sizeof out, "%svorpkg-fault.%lu.out", temp, GetCurrentProcessId());
    snprintf(line, sizeof line, "\"%s\" %s", exe, args);
    const long logBefore = Size(log);
    // Not refused in a network folder: runs there by its drive letter instead.
    char here[MAX_PATH];
    const char* share = GetCurrentDirectoryA(sizeof here, here) < sizeof here ? strstr(here, "$\\") : nullptr;
    if (strcmp(fault, "network-run") == 0 && here[0] == '\\' && share != nullptr) {
        snprintf(temp, sizeof temp, "%c:%s", share[-1], share + 1);
        SetCurrentDirectoryA(temp);
    }

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE h = CreateFileA(out, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = h;
    si.hStdError = h;
    PROCESS_INFORMATION pi;
    if (h == INVALID_HANDLE_VALUE || !CreateProcessA(exe, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return 98;
    CloseHandle(h);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    long length = ReadAll(out, g_out, sizeof g_out);
    DeleteFileA(out);
    if (length < 0) return 97;

    if (strcmp(fault, "exit-code") == 0) code += 1;
    if (strcmp(fault, "extra-line") == 0) strcat(g_out, "Update done.\r\n");
    if (strcmp(fault, "made-private") == 0 && inPlace && length > 0) {
        // Before the last line.
        char* last = g_out + length - 1;
        while (last > g_out && last[-1] != '\n') --last;
        static char tail[4096];
        strcpy(tail, last);
        snprintf(last, sizeof g_out - static_cast<size_t>(last - g_out), "Result log folder made private: %s\\QVLOG\r\n%s",
                 drive != nullptr ? drive : "C:", tail);
    }
    if (strcmp(fault, "record-staged") == 0 && staged) {
        const char record[] = "01-01-2004 00:00:00,Update=x,New=y,Status=Success,ReturnCode=0 \r\n";
        WriteAll(log, "ab", record, strlen(record));
    }
    if (strcmp(fault, "no-record") == 0 && inPlace && logBefore >= 0) {
        HANDLE f = CreateFileA(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFilePointer(f, logBefore, nullptr, FILE_BEGIN);
        SetEndOfFile(f);
        CloseHandle(f);
    }
    if (strcmp(fault, "area-left") == 0) {
        snprintf(line, sizeof line, "%s\\QVTfault.tmp", drive != nullptr ? drive : "C:");
        CreateDirectoryA(line, nullptr);
    }
    if (strcmp(fault, "utility-line") == 0 && inPlace) {
        // The package folder is the start folder.
        static char trace[8192];
        if (ReadAll("mervane.trace", trace, sizeof trace) > 0) {
            char* s = strstr(trace, " /s ");
            if (s != nullptr) s[2] = 'q';
            WriteAll("mervane.trace", "wb", trace, strlen(trace));
        }
    }
    if (strcmp(fault, "copy-changed") == 0 && staged) {
        // One byte more in the sub-folder's file of the staging area the run names.
        const char* at = strstr(g_out, ":\\QVT");
        const char* end = at != nullptr ? strstr(at, "\\VOR.LOG") : nullptr;
        if (end != nullptr) {
            snprintf(line, sizeof line, "%.*s\\drivers\\zorvad.cat", static_cast<int>(end - at + 1), at - 1);
            WriteAll(line, "ab", "x", 1);
        }
    }
    if ((strcmp(fault, "stamp-hour") == 0 || strcmp(fault, "log-rewritten") == 0) && inPlace && logBefore > 0) {
        // An hour off in the new record's stamp (UTC, a 12-hour clock), or the
        // log's first byte changed.
        FILE* f = fopen(log, "r+b");
        long at = strcmp(fault, "stamp-hour") == 0 ? logBefore + 12 : 0;
        int c = f != nullptr && fseek(f, at, SEEK_SET) == 0 ? fgetc(f) : EOF;
        if (c != EOF && fseek(f, at, SEEK_SET) == 0) fputc(c == '0' ? '1' : c == 'x' ? 'y' : '0', f);
        if (f != nullptr) fclose(f);
    }
    // Passed on as it came, line ends and all; "zero-byte" hides a line behind one.
    size_t shown = strlen(g_out);
    const char hidden[] = "\0Update done.\r\n";
    if (strcmp(fault, "zero-byte") == 0 && shown + sizeof hidden < sizeof g_out) {
        memcpy(g_out + shown, hidden, sizeof hidden - 1);
        shown += sizeof hidden - 1;
    }
    (void)_setmode(_fileno(stdout), _O_BINARY);
    fwrite(g_out, 1, shown, stdout);
    return static_cast<int>(code);
}

#include "standins.h"

#include "hooks.h"
#include "winfs.h"

#include <stdio.h>
#include <string.h>

#include <map>

const char kStagingNames[] = "C:\\vorpkg-tests\\sweep-staging.txt";

namespace {

const char* g_winver = "win2k";
std::string g_firstLog = "clean";
std::string g_rerunLog = "clean";
std::string g_package;
UtilityRuns g_utility;

// A utility that was started: its log is finished once it is awaited.
struct Started {
    std::string log;
    std::string bytes;
    size_t run;  // its entry in g_utility.runs
};
std::map<HANDLE, Started> g_started;
std::map<HANDLE, bool> g_open;  // every handle a run holds; true: a listing

void Remember(HANDLE h, bool listing) {
    if (h != INVALID_HANDLE_VALUE && h != nullptr) g_open[h] = listing;
}

std::string LogBytes(const std::string& kind, bool rerun) {
    std::string bytes = rerun ? "mervane stand-in: re-run\n" : "mervane stand-in: first run\n";
    if (kind == "bios" || kind == "both") bytes += "Error Code 29: the BIOS is back-level\n";
    if (kind == "driver" || kind == "both") bytes += "Error Code 28: the driver is back-level\n";
    return bytes + "Update finished.\n";
}

// The tree below dir with each file's bytes, the utility's log left out.
std::string Snapshot(const std::string& dir) {
    std::string out;
    for (const std::string& e : ListTree(dir.substr(0, dir.size() - 1)))
        if (e != "VOR.LOG") out += e.back() == '\\' ? e + "\n" : e + "=" + ReadFileBytes(dir + e) + "\n";
    return out;
}

// The package folder and any staging folder named by role.
std::string Roles(std::string text) {
    text = SameStagingName(text);
    for (size_t at = text.find(g_package); !g_package.empty() && at != std::string::npos;
         at = text.find(g_package, at))
        text.replace(at, g_package.size(), "<package>");
    return text;
}

// The stand-in for cmd running mervane.exe: it looks where cmd would look,
// notes the run and writes the first line of its log at once, the rest when
// it is awaited (a run not awaited may still be writing when vorpkg reads).
BOOL WINAPI PlayUtility(LPCSTR, LPSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                        LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION pi) {
    std::string command = line;
    const std::string prefix = "cmd /d /c \"";
    if (command.compare(0, prefix.size(), prefix) == 0 && command.back() == '"')
        command = command.substr(prefix.size(), command.size() - prefix.size() - 1);
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, cwd);
    std::string here = cwd;
    if (here.back() != '\\') here += '\\';
    // "mervane.exe /l <log> /s /noreboot /i <file> <option>"
    std::string log;
    size_t l = command.find(" /l ");
    if (l != std::string::npos) log = command.substr(l + 4, command.find(' ', l + 4) - l - 4);
    bool rerun = command.find("/oinowdp") != std::string::npos;
    bool ours = GetFileAttributesA((here + "mervane.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
    std::string entry = Roles(command) + " | in " + Roles(here) + (ours ? "" : " | from PATH");
    // Nothing may start while an earlier run may still be at work.
    if (!g_started.empty()) entry += " | while one not awaited";
    g_utility.runs.push_back(entry + " | not awaited");
    if (g_utility.runs.size() == 1) g_utility.copy = Snapshot(here);

    HANDLE process = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE thread = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    Remember(process, false);
    Remember(thread, false);
    memset(pi, 0, sizeof *pi);
    pi->hProcess = process;
    pi->hThread = thread;
    std::string bytes = LogBytes(rerun ? g_rerunLog : g_firstLog, rerun);
    // Without ours here cmd runs whatever mervane.exe it finds along PATH:
    // a stranger's, which reports nothing back-level.
    if (!ours) bytes = LogBytes("clean", rerun);
    if (!log.empty()) WriteFileBytes(log, bytes.substr(0, bytes.find('\n') + 1));
    g_started[process] = {log, bytes, g_utility.runs.size() - 1};
    return TRUE;
}

DWORD WINAPI AwaitUtility(HANDLE h, DWORD ms) {
    auto it = g_started.find(h);
    if (it == g_started.end()) return g_passOs.WaitForSingleObject(h, ms);
    if (!it->second.log.empty()) WriteFileBytes(it->second.log, it->second.bytes);
    std::string& run = g_utility.runs[it->second.run];
    run = run.substr(0, run.rfind(" | not awaited"));
    g_started.erase(it);
    return WAIT_OBJECT_0;
}

BOOL WINAPI UtilityExitCode(HANDLE h, LPDWORD code) {
    *code = g_started.count(h) != 0 ? STILL_ACTIVE : 0;
    return TRUE;
}

BOOL WINAPI ReportVersion(LPOSVERSIONINFOA info) {
    bool nt4 = strcmp(g_winver, "nt40") == 0;
    DWORD size = info->dwOSVersionInfoSize;
    memset(reinterpret_cast<char*>(info) + sizeof size, 0, size - sizeof size);
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = nt4 ? 4 : 5;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = nt4 ? 1381 : 2195;
    return TRUE;
}

decltype(OsCalls::GetTempFileNameA) g_realTempName;

// Staging names of one length (four hex digits), as the count of calls
// that check the work directory character by character depends on it. Wine
// numbers them from the clock: for about 4 s in every 65 s every name it
// gives has three digits, so then one of four is made here, as it would
// (the file created, a name in use passed over).
UINT WINAPI SameLengthTempName(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR name) {
    UINT got = g_realTempName(dir, prefix, unique, name);
    const char* last = strrchr(name, '\\');
    if (got == 0 || last == nullptr || strlen(last + 1) == strlen("QVTabcd.tmp")) {
        // as Wine gave it
    } else {
        DeleteFileA(name);
        for (UINT n = 0xA000 | (got & 0xFFF);; n = 0xA000 | ((n + 1) & 0x1FFF)) {
            got = g_realTempName(dir, prefix, n, name);  // with a number of its own: forms the name only
            HANDLE made = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (made != INVALID_HANDLE_VALUE) {
                CloseHandle(made);
                break;
            }
            if (GetLastError() != ERROR_FILE_EXISTS) return 0;
        }
    }
    // Noted for the clearing up, from a cut-off child too.
    FILE* names = fopen(kStagingNames, "ab");
    if (names != nullptr) {
        fprintf(names, "%s\n", name);
        fclose(names);
    }
    return got;
}

decltype(OsCalls::CreateFileA) g_realCreateFile;
decltype(OsCalls::FindFirstFileA) g_realFindFirst;
decltype(OsCalls::OpenProcessToken) g_realOpenToken;
decltype(OsCalls::CloseHandle) g_realClose;
decltype(OsCalls::FindClose) g_realFindClose;
decltype(OsCalls::OpenStream) g_realOpenStream;
decltype(RecordIo::close) g_realStreamClose;

HANDLE WINAPI TrackCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD how,
                              DWORD flags, HANDLE tmpl) {
    HANDLE h = g_realCreateFile(name, access, share, sa, how, flags, tmpl);
    Remember(h, false);
    return h;
}

HANDLE WINAPI TrackFindFirst(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    HANDLE h = g_realFindFirst(pattern, data);
    Remember(h, true);
    return h;
}

BOOL WINAPI TrackOpenToken(HANDLE process, DWORD access, PHANDLE token) {
    BOOL ok = g_realOpenToken(process, access, token);
    if (ok) Remember(*token, false);
    return ok;
}

BOOL WINAPI TrackClose(HANDLE h) {
    g_open.erase(h);
    g_started.erase(h);
    return g_realClose(h);
}

BOOL WINAPI TrackFindClose(HANDLE h) {
    g_open.erase(h);
    return g_realFindClose(h);
}

FILE* TrackOpenStream(const char* path, const char* mode, int share) {
    FILE* f = g_realOpenStream(path, mode, share);
    if (f != nullptr && mode[0] == 'a') NoteLogOpen(true);
    return f;
}

int TrackStreamClose(FILE* f) {
    NoteLogOpen(false);
    return g_realStreamClose(f);
}

}  // namespace

void InstallStandIns() {
    g_realTempName = g_passOs.GetTempFileNameA;
    g_passOs.GetTempFileNameA = SameLengthTempName;
    g_realCreateFile = g_passOs.CreateFileA;
    g_realFindFirst = g_passOs.FindFirstFileA;
    g_realOpenToken = g_passOs.OpenProcessToken;
    g_realClose = g_passOs.CloseHandle;
    g_realFindClose = g_passOs.FindClose;
    g_realOpenStream = g_passOs.OpenStream;
    g_realStreamClose = g_passIo.close;
    g_passOs.CreateProcessA = PlayUtility;
    g_passOs.WaitForSingleObject = AwaitUtility;
    g_passOs.GetExitCodeProcess = UtilityExitCode;
    g_passOs.GetVersionExA = ReportVersion;
    g_passOs.CreateFileA = TrackCreateFile;
    g_passOs.FindFirstFileA = TrackFindFirst;
    g_passOs.OpenProcessToken = TrackOpenToken;
    g_passOs.CloseHandle = TrackClose;
    g_passOs.FindClose = TrackFindClose;
    g_passOs.OpenStream = TrackOpenStream;
    g_passIo.close = TrackStreamClose;
}

void SetStage(const char* winver, const char* firstLog, const char* rerunLog, const std::string& package) {
    g_winver = winver;
    g_firstLog = firstLog;
    g_rerunLog = rerunLog;
    g_package = package;
}

void ResetUtility() {
    g_utility = UtilityRuns();
    g_started.clear();
}

const UtilityRuns& Utility() { return g_utility; }

void RemoveStagingAreas() {
    for (const std::string& name : Lines(ReadFileBytes(kStagingNames))) RemoveTree(name);
    DeleteFileA(kStagingNames);
}

int CloseLeftHandles() {
    int left = static_cast<int>(g_open.size());
    for (const auto& h : g_open) {
        if (h.second)
            g_realFindClose(h.first);
        else
            g_realClose(h.first);
    }
    g_open.clear();
    g_started.clear();
    NoteLogOpen(false);
    return left;
}

std::string SameStagingName(std::string text) {
    for (size_t at = text.find("\\QVT"); at != std::string::npos; at = text.find("\\QVT", at + 1)) {
        size_t end = text.find(".tmp", at);
        if (end != std::string::npos && end - at <= 12) text.replace(at + 4, end - at - 4, "*");
    }
    return text;
}

#include "hooks.h"

#include "run/updaterun.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <type_traits>

namespace {

// Flags of a table entry.
const unsigned kCannotFail = 1;   // never failed: the call has no failure
const unsigned kDisk = 2;         // changes the disk: a cut-off point
const unsigned kFailsAfter = 4;   // the failing call still does its work (fclose)

// Each entry: its failure value (as an integer), its flags, and the errors a
// failing call leaves, each swept in turn. Listed are the errors Windows
// gives for it that lead vorpkg down paths of their own (a listing's
// ERROR_FILE_NOT_FOUND is its end, ERROR_ALREADY_EXISTS a name taken
// meanwhile, a sharing violation on the result log is waited out); the
// others it gives take the path of the first. An entry added to a table
// without a row here stops the build (the static_asserts below).
#define SWEEP_OS_TABLE(X)                                                    \
    X(GetCurrentDirectoryA, 0, 0, ERROR_ACCESS_DENIED)                       \
    X(SetCurrentDirectoryA, 0, 0, ERROR_ACCESS_DENIED)                       \
    X(GetSystemDirectoryA, 0, 0, ERROR_ACCESS_DENIED)                        \
    X(GetVersionExA, 0, 0, ERROR_INSUFFICIENT_BUFFER)                        \
    X(GetTempFileNameA, 0, kDisk, ERROR_ACCESS_DENIED)                       \
    X(DeleteFileA, 0, kDisk, ERROR_ACCESS_DENIED)                            \
    X(GetDiskFreeSpaceA, 0, 0, ERROR_NOT_READY)                              \
    X(CreateDirectoryA, 0, kDisk, ERROR_ACCESS_DENIED, ERROR_ALREADY_EXISTS)                       \
    X(FindFirstFileA, -1, 0, ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND)                            \
    X(FindNextFileA, 0, 0, ERROR_ACCESS_DENIED)                              \
    X(FindClose, 0, 0, ERROR_INVALID_HANDLE)                                 \
    X(CopyFileA, 0, kDisk, ERROR_DISK_FULL)                                  \
    X(SetFileAttributesA, 0, kDisk, ERROR_ACCESS_DENIED)                     \
    X(CreateProcessA, 0, kDisk, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(WaitForSingleObject, -1, 0, ERROR_INVALID_HANDLE)                      \
    X(GetExitCodeProcess, 0, 0, ERROR_ACCESS_DENIED)                         \
    X(CloseHandle, 0, 0, ERROR_INVALID_HANDLE)                               \
    X(GetLastError, 0, kCannotFail, 0)                                       \
    X(GetLocalTime, 0, kCannotFail, 0)                                       \
    X(Sleep, 0, kCannotFail, 0)                                              \
    X(IsDBCSLeadByte, 0, kCannotFail, 0)                                     \
    X(GetModuleHandleA, 0, 0, ERROR_MOD_NOT_FOUND)                           \
    X(GetProcAddress, 0, 0, ERROR_PROC_NOT_FOUND)                            \
    X(InitializeSid, 0, 0, ERROR_INVALID_PARAMETER)                          \
    X(GetSidSubAuthority, 0, kCannotFail, 0)                                 \
    X(GetLengthSid, 0, kCannotFail, 0)                                       \
    X(InitializeAcl, 0, 0, ERROR_INSUFFICIENT_BUFFER)                        \
    X(AddAccessAllowedAce, 0, 0, ERROR_ALLOTTED_SPACE_EXCEEDED)              \
    X(GetAce, 0, 0, ERROR_INVALID_PARAMETER)                                 \
    X(InitializeSecurityDescriptor, 0, 0, ERROR_INVALID_PARAMETER)           \
    X(SetSecurityDescriptorDacl, 0, 0, ERROR_INVALID_SECURITY_DESCR)         \
    X(GetFileAttributesA, -1, 0, ERROR_ACCESS_DENIED)                        \
    X(GetTickCount, 0, kCannotFail, 0)                                       \
    X(OpenStream, 0, kDisk, ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED)    \
    X(ReadStream, 0, 0, ERROR_READ_FAULT)                                    \
    X(ReadStreamLine, 0, 0, ERROR_READ_FAULT)                                \
    X(ReadStreamChar, -1, 0, ERROR_READ_FAULT)                               \
    X(SeekStream, -1, 0, ERROR_SEEK)                                         \
    X(TellStream, -1, 0, ERROR_SEEK)                                         \
    X(BufferStream, -1, 0, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(CloseStream, -1, kFailsAfter, ERROR_INVALID_HANDLE)                         \
    X(CreateFileA, -1, 0, ERROR_SHARING_VIOLATION)                           \
    X(GetFileInformationByHandle, 0, 0, ERROR_ACCESS_DENIED)                 \
    X(GetVolumeInformationA, 0, 0, ERROR_NOT_READY)                          \
    X(GetCurrentProcess, 0, kCannotFail, 0)                                  \
    X(OpenProcessToken, 0, 0, ERROR_ACCESS_DENIED)                           \
    X(GetTokenInformation, 0, 0, ERROR_ACCESS_DENIED)                        \
    X(GetKernelObjectSecurity, 0, 0, ERROR_ACCESS_DENIED)                    \
    X(GetSecurityDescriptorOwner, 0, 0, ERROR_INVALID_SECURITY_DESCR)        \
    X(GetSecurityDescriptorDacl, 0, 0, ERROR_INVALID_SECURITY_DESCR)         \
    X(EqualSid, 0, kCannotFail, 0)                                           \
    X(SetKernelObjectSecurity, 0, kDisk, ERROR_ACCESS_DENIED)                  \
    X(LookupAccountSidA, 0, 0, ERROR_NONE_MAPPED)                            \
    X(MoveFileA, 0, kDisk, ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND)        \
    X(GetDriveTypeA, 0, 0, ERROR_NOT_READY)                                  \
    X(SetSecurityDescriptorControl, 0, 0, ERROR_INVALID_SECURITY_DESCR)

// The record's writes fail as a full disk fails them, a put also after
// writing part of its text; fclose releases the stream even when it reports
// a failure.
#define SWEEP_IO_TABLE(X)                       \
    X(put, -1, kDisk, ERROR_DISK_FULL, kPartWritten) \
    X(flush, -1, kDisk, ERROR_DISK_FULL)        \
    X(close, -1, kDisk | kFailsAfter, ERROR_DISK_FULL) \
    X(cut, -1, kDisk, ERROR_DISK_FULL)

#define SWEEP_COUNT(...) +1
static_assert(sizeof(OsCalls) == (0 SWEEP_OS_TABLE(SWEEP_COUNT)) * sizeof(void*),
              "an OsCalls entry has no row in SWEEP_OS_TABLE: give it its failure there");
static_assert(sizeof(RecordIo) == (0 SWEEP_IO_TABLE(SWEEP_COUNT)) * sizeof(void*),
              "a RecordIo entry has no row in SWEEP_IO_TABLE: give it its failure there");

FaultKind g_kind = kNoFault;
Fault g_first, g_second;
long g_bound = 0;
long g_calls = 0;
std::vector<CallPoint>* g_points = nullptr;
const char* g_faulted = nullptr;
DWORD g_error = 0;  // of the call being failed
bool g_logOpen = false;

// The way back out of a run that calls exit or passes the bound.
void* g_jump[5];
bool g_armed = false;
int g_exitStatus = 0;
bool g_exited = false;
bool g_bounded = false;

[[noreturn]] void BackToHarness() { __builtin_longjmp(g_jump, 1); }

enum Decision { kPassOn, kFailIt };

Decision OnCall(const char* entry, unsigned flags) {
    long k = ++g_calls;
    bool canFail = (flags & kCannotFail) == 0;
    if (g_points != nullptr) g_points->push_back({entry, canFail, (flags & kDisk) != 0, g_logOpen});
    if (g_armed && k > g_bound) {
        g_bounded = true;
        BackToHarness();
    }
    const Fault* f = k == g_first.point ? &g_first : k == g_second.point ? &g_second : nullptr;
    if (f == nullptr) return kPassOn;
    if (f == &g_first) g_faulted = entry;
    // As if killed or the power cut: no exit handlers, no flush.
    if (g_kind == kCut) TerminateProcess(GetCurrentProcess(), kCutExit);
    g_error = f->error;
    if (g_kind != kFail || !canFail) return kPassOn;
    // Marked on the call as recorded, not as counted: replay sees a miscount.
    if (g_points != nullptr) g_points->back().failed = true;
    return kFailIt;
}

template <typename R>
R FailWith(intptr_t value, DWORD error) {
    if (error == kPartWritten) error = ERROR_DISK_FULL;
    SetLastError(error);
    _doserrno = error;
    errno = error == ERROR_DISK_FULL ? ENOSPC : EACCES;
    if constexpr (std::is_void_v<R>) {
        return;
    } else if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<R>(value);
    } else {
        return static_cast<R>(value);
    }
}

// Part of the text written, then the write fails (a disk full midway).
void WritePart(const char* text, FILE* f);

struct Row {
    const char* name;
    std::vector<DWORD> errors;
    bool canFail;
};

}  // namespace

OsCalls g_passOs;
RecordIo g_passIo;

namespace {

void WritePart(const char* text, FILE* f) {
    std::string part(text, strlen(text) / 2);
    if (!part.empty()) (void)g_passIo.put(part.c_str(), f);
}

}  // namespace

// Each wrapper is a captureless lambda, made a function of the entry's own
// type by the assignment.
#define SWEEP_WRAP(table, pass, name, value, flags, ...)                             \
    table.name = [](auto... a) -> decltype(pass.name(a...)) {                       \
        using R = decltype(pass.name(a...));                                        \
        if (OnCall(#name, flags) == kPassOn) return pass.name(a...);                \
        if ((flags) & kFailsAfter) (void)pass.name(a...);                           \
        if constexpr (std::is_invocable_v<decltype(WritePart), decltype(a)...>)       \
            if (g_error == kPartWritten) WritePart(a...);                           \
        return FailWith<R>(value, g_error);                                         \
    };
#define SWEEP_WRAP_OS(name, value, flags, ...) SWEEP_WRAP(g_os, g_passOs, name, value, flags)
#define SWEEP_WRAP_IO(name, value, flags, ...) SWEEP_WRAP(g_recordIo, g_passIo, name, value, flags)

void InstallHooks() {
    g_passOs = g_os;
    g_passIo = g_recordIo;
    SWEEP_OS_TABLE(SWEEP_WRAP_OS)
    SWEEP_IO_TABLE(SWEEP_WRAP_IO)
}

#define SWEEP_ROW(name, value, flags, ...) {#name, {__VA_ARGS__}, ((flags) & kCannotFail) == 0},
namespace {
const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {SWEEP_OS_TABLE(SWEEP_ROW) SWEEP_IO_TABLE(SWEEP_ROW)};
    return rows;
}
}  // namespace

std::vector<const char*> EntryNames() {
    std::vector<const char*> names;
    for (const Row& r : Rows()) names.push_back(r.name);
    return names;
}

std::vector<DWORD> ErrorsOf(const char* entry) {
    for (const Row& r : Rows())
        if (strcmp(r.name, entry) == 0) return r.canFail ? r.errors : std::vector<DWORD>();
    return {};
}

void ArmRun(FaultKind kind, Fault first, long bound, std::vector<CallPoint>* points, Fault second) {
    g_kind = kind;
    g_first = first;
    g_second = second;
    g_bound = bound;
    g_calls = 0;
    g_points = points;
    g_faulted = nullptr;
    g_logOpen = false;
}

long CallsMade() { return g_calls; }
const char* FaultedEntry() { return g_faulted; }
void NoteLogOpen(bool open) { g_logOpen = open; }

extern "C" [[noreturn]] void __real_exit(int status);

// The program's exit (linked with --wrap=exit): within a run it ends the run.
extern "C" [[noreturn]] void __wrap_exit(int status) {
    if (!g_armed) __real_exit(status);
    g_exitStatus = status;
    g_exited = true;
    BackToHarness();
}

int GuardedRun(int argc, char** argv, bool* exited, bool* bounded) {
    g_exited = false;
    g_bounded = false;
    int result = 0;
    if (__builtin_setjmp(g_jump) == 0) {
        g_armed = true;
        result = UpdateRun(argc, argv);
    } else {
        result = g_exitStatus;
    }
    g_armed = false;
    *exited = g_exited;
    *bounded = g_bounded;
    return result;
}

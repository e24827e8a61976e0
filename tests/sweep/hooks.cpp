#include "hooks.h"

#include "run/updaterun.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include <type_traits>

namespace {

// Flags of a table entry.
const unsigned kCannotFail = 1;   // never failed: the call has no failure
const unsigned kDisk = 2;         // changes the disk: a cut-off point
const unsigned kFailsAfter = 4;   // the failing call still does its work (fclose)

// Each entry: its failure value (as an integer) and the last error a failing
// call leaves. An entry added to a table without a row here stops the build
// (the static_asserts below).
#define SWEEP_OS_TABLE(X)                                                    \
    X(GetCurrentDirectoryA, 0, ERROR_ACCESS_DENIED, 0)                       \
    X(SetCurrentDirectoryA, 0, ERROR_ACCESS_DENIED, 0)                       \
    X(GetSystemDirectoryA, 0, ERROR_ACCESS_DENIED, 0)                        \
    X(GetVersionExA, 0, ERROR_INSUFFICIENT_BUFFER, 0)                        \
    X(GetTempFileNameA, 0, ERROR_ACCESS_DENIED, kDisk)                       \
    X(DeleteFileA, 0, ERROR_ACCESS_DENIED, kDisk)                            \
    X(GetDiskFreeSpaceA, 0, ERROR_NOT_READY, 0)                              \
    X(CreateDirectoryA, 0, ERROR_ACCESS_DENIED, kDisk)                       \
    X(FindFirstFileA, -1, ERROR_ACCESS_DENIED, 0)                            \
    X(FindNextFileA, 0, ERROR_ACCESS_DENIED, 0)                              \
    X(FindClose, 0, ERROR_INVALID_HANDLE, 0)                                 \
    X(CopyFileA, 0, ERROR_DISK_FULL, kDisk)                                  \
    X(SetFileAttributesA, 0, ERROR_ACCESS_DENIED, kDisk)                     \
    X(CreateProcessA, 0, ERROR_NOT_ENOUGH_MEMORY, kDisk)                     \
    X(WaitForSingleObject, -1, ERROR_INVALID_HANDLE, 0)                      \
    X(GetExitCodeProcess, 0, ERROR_ACCESS_DENIED, 0)                         \
    X(CloseHandle, 0, ERROR_INVALID_HANDLE, 0)                               \
    X(GetLastError, 0, 0, kCannotFail)                                       \
    X(GetLocalTime, 0, 0, kCannotFail)                                       \
    X(Sleep, 0, 0, kCannotFail)                                              \
    X(IsDBCSLeadByte, 0, 0, kCannotFail)                                     \
    X(GetModuleHandleA, 0, ERROR_MOD_NOT_FOUND, 0)                           \
    X(GetProcAddress, 0, ERROR_PROC_NOT_FOUND, 0)                            \
    X(InitializeSid, 0, ERROR_INVALID_PARAMETER, 0)                          \
    X(GetSidSubAuthority, 0, 0, kCannotFail)                                 \
    X(GetLengthSid, 0, 0, kCannotFail)                                       \
    X(InitializeAcl, 0, ERROR_INSUFFICIENT_BUFFER, 0)                        \
    X(AddAccessAllowedAce, 0, ERROR_ALLOTTED_SPACE_EXCEEDED, 0)              \
    X(GetAce, 0, ERROR_INVALID_PARAMETER, 0)                                 \
    X(InitializeSecurityDescriptor, 0, ERROR_INVALID_PARAMETER, 0)           \
    X(SetSecurityDescriptorDacl, 0, ERROR_INVALID_SECURITY_DESCR, 0)         \
    X(GetFileAttributesA, -1, ERROR_ACCESS_DENIED, 0)                        \
    X(GetTickCount, 0, 0, kCannotFail)                                       \
    X(OpenStream, 0, ERROR_SHARING_VIOLATION, kDisk)                         \
    X(CreateFileA, -1, ERROR_SHARING_VIOLATION, 0)                           \
    X(GetFileInformationByHandle, 0, ERROR_ACCESS_DENIED, 0)                 \
    X(GetVolumeInformationA, 0, ERROR_NOT_READY, 0)                          \
    X(GetCurrentProcess, 0, 0, kCannotFail)                                  \
    X(OpenProcessToken, 0, ERROR_ACCESS_DENIED, 0)                           \
    X(GetTokenInformation, 0, ERROR_ACCESS_DENIED, 0)                        \
    X(GetKernelObjectSecurity, 0, ERROR_ACCESS_DENIED, 0)                    \
    X(GetSecurityDescriptorOwner, 0, ERROR_INVALID_SECURITY_DESCR, 0)        \
    X(GetSecurityDescriptorDacl, 0, ERROR_INVALID_SECURITY_DESCR, 0)         \
    X(EqualSid, 0, 0, kCannotFail)                                           \
    X(SetKernelObjectSecurity, 0, ERROR_ACCESS_DENIED, kDisk)              \
    X(LookupAccountSidA, 0, ERROR_NONE_MAPPED, 0)                            \
    X(MoveFileA, 0, ERROR_ACCESS_DENIED, kDisk)                              \
    X(GetDriveTypeA, 0, ERROR_NOT_READY, 0)

// The record's writes fail as a full disk fails them; fclose releases the
// stream even when it reports a failure.
#define SWEEP_IO_TABLE(X)                       \
    X(put, -1, ERROR_DISK_FULL, kDisk)          \
    X(flush, -1, ERROR_DISK_FULL, kDisk)        \
    X(close, -1, ERROR_DISK_FULL, kDisk | kFailsAfter) \
    X(cut, -1, ERROR_DISK_FULL, kDisk)

#define SWEEP_COUNT(...) +1
static_assert(sizeof(OsCalls) == (0 SWEEP_OS_TABLE(SWEEP_COUNT)) * sizeof(void*),
              "an OsCalls entry has no row in SWEEP_OS_TABLE: give it its failure there");
static_assert(sizeof(RecordIo) == (0 SWEEP_IO_TABLE(SWEEP_COUNT)) * sizeof(void*),
              "a RecordIo entry has no row in SWEEP_IO_TABLE: give it its failure there");

FaultKind g_kind = kNoFault;
long g_point = 0;
long g_bound = 0;
long g_calls = 0;
std::vector<CallPoint>* g_points = nullptr;
const char* g_faulted = nullptr;
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
    if (k != g_point) return kPassOn;
    g_faulted = entry;
    // As if killed or the power cut: no exit handlers, no flush.
    if (g_kind == kCut) TerminateProcess(GetCurrentProcess(), kCutExit);
    return g_kind == kFail && canFail ? kFailIt : kPassOn;
}

template <typename R>
R FailWith(intptr_t value, DWORD error) {
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

}  // namespace

OsCalls g_passOs;
RecordIo g_passIo;

// Each wrapper is a captureless lambda, made a function of the entry's own
// type by the assignment.
#define SWEEP_WRAP(table, pass, name, value, error, flags)                          \
    table.name = [](auto... a) -> decltype(pass.name(a...)) {                       \
        using R = decltype(pass.name(a...));                                        \
        if (OnCall(#name, flags) == kPassOn) return pass.name(a...);                \
        if ((flags) & kFailsAfter) (void)pass.name(a...);                           \
        return FailWith<R>(value, error);                                           \
    };
#define SWEEP_WRAP_OS(name, value, error, flags) SWEEP_WRAP(g_os, g_passOs, name, value, error, flags)
#define SWEEP_WRAP_IO(name, value, error, flags) SWEEP_WRAP(g_recordIo, g_passIo, name, value, error, flags)

void InstallHooks() {
    g_passOs = g_os;
    g_passIo = g_recordIo;
    SWEEP_OS_TABLE(SWEEP_WRAP_OS)
    SWEEP_IO_TABLE(SWEEP_WRAP_IO)
}

#define SWEEP_NAME(name, ...) #name,
std::vector<const char*> EntryNames() { return {SWEEP_OS_TABLE(SWEEP_NAME) SWEEP_IO_TABLE(SWEEP_NAME)}; }

void ArmRun(FaultKind kind, long point, long bound, std::vector<CallPoint>* points) {
    g_kind = kind;
    g_point = point;
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

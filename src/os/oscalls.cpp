#include "os/oscalls.h"

OsCalls g_os = {
    ::GetCurrentDirectoryA,
    ::SetCurrentDirectoryA,
    ::GetSystemDirectoryA,
    ::GetVersionExA,
    ::GetTempFileNameA,
    ::DeleteFileA,
    ::GetDiskFreeSpaceA,
    ::CreateDirectoryA,
    ::FindFirstFileA,
    ::FindNextFileA,
    ::FindClose,
    ::CopyFileA,
    ::SetFileAttributesA,
    ::CreateProcessA,
    ::WaitForSingleObject,
    ::GetExitCodeProcess,
    ::CloseHandle,
    ::GetLastError,
    ::GetLocalTime,
    ::Sleep,
};

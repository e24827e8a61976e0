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
    ::IsDBCSLeadByte,
    ::GetModuleHandleA,
    ::GetProcAddress,
    ::InitializeSid,
    ::GetSidSubAuthority,
    ::GetLengthSid,
    ::InitializeAcl,
    ::AddAccessAllowedAce,
    ::GetAce,
    ::InitializeSecurityDescriptor,
    ::SetSecurityDescriptorDacl,
    ::GetFileAttributesA,
    ::GetTickCount,
    ::_fsopen,
    // Held folders
    ::CreateFileA,
    ::GetFileInformationByHandle,
    ::GetVolumeInformationA,
    ::GetCurrentProcess,
    ::OpenProcessToken,
    ::GetTokenInformation,
    ::GetKernelObjectSecurity,
    ::GetSecurityDescriptorOwner,
    ::GetSecurityDescriptorDacl,
    ::EqualSid,
    // Made private
    ::SetKernelObjectSecurity,
    // Refused or set aside
    ::LookupAccountSidA,
    ::MoveFileA,
    ::GetDriveTypeA,
};

#ifndef VORPKG_FAULT_BYTEWISE
bool AnsiLeadByte(unsigned char c) { return g_os.IsDBCSLeadByte(c) != FALSE; }
#else
// Only in the faulty build the self-test's own test runs it against
// (tests/selftest): every byte taken for a character.
bool AnsiLeadByte(unsigned char) { return false; }
#endif

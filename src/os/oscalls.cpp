#include "os/oscalls.h"

namespace {

// Looked up where it is called: NT 4.0's ADVAPI32 has no such export, and
// an import of it would keep the program from loading there.
BOOL WINAPI SetControlWhereThere(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR_CONTROL mask,
                                 SECURITY_DESCRIPTOR_CONTROL bits) {
    typedef BOOL(WINAPI * SetControlFn)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                        SECURITY_DESCRIPTOR_CONTROL);
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    FARPROC found = advapi != nullptr ? ::GetProcAddress(advapi, "SetSecurityDescriptorControl") : nullptr;
    if (found == nullptr) return FALSE;
    return reinterpret_cast<SetControlFn>(reinterpret_cast<void*>(found))(sd, mask, bits);
}

}  // namespace

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
    ::fread,
    ::fgets,
    ::fgetc,
    ::fseek,
    ::ftell,
    ::setvbuf,
    ::fclose,
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
    SetControlWhereThere,
};

#ifndef VORPKG_FAULT_BYTEWISE
bool AnsiLeadByte(unsigned char c) { return g_os.IsDBCSLeadByte(c) != FALSE; }
#else
// Only in the faulty build the self-test's own test runs it against
// (tests/selftest): every byte taken for a character.
bool AnsiLeadByte(unsigned char) { return false; }
#endif

// The one table through which the program reaches KERNEL32 and ADVAPI32.
// Product code never calls these functions directly: tests replace single
// entries to play faults a real system will not show on demand.
#ifndef VORPKG_OS_OSCALLS_H
#define VORPKG_OS_OSCALLS_H

#include <windows.h>

#include <stdio.h>

struct OsCalls {
    decltype(&::GetCurrentDirectoryA) GetCurrentDirectoryA;
    decltype(&::SetCurrentDirectoryA) SetCurrentDirectoryA;
    decltype(&::GetSystemDirectoryA) GetSystemDirectoryA;
    decltype(&::GetVersionExA) GetVersionExA;
    decltype(&::GetTempFileNameA) GetTempFileNameA;
    decltype(&::DeleteFileA) DeleteFileA;
    decltype(&::GetDiskFreeSpaceA) GetDiskFreeSpaceA;
    decltype(&::CreateDirectoryA) CreateDirectoryA;
    decltype(&::FindFirstFileA) FindFirstFileA;
    decltype(&::FindNextFileA) FindNextFileA;
    decltype(&::FindClose) FindClose;
    decltype(&::CopyFileA) CopyFileA;
    decltype(&::SetFileAttributesA) SetFileAttributesA;
    decltype(&::CreateProcessA) CreateProcessA;
    decltype(&::WaitForSingleObject) WaitForSingleObject;
    decltype(&::GetExitCodeProcess) GetExitCodeProcess;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::GetLastError) GetLastError;
    decltype(&::GetLocalTime) GetLocalTime;
    decltype(&::Sleep) Sleep;
    decltype(&::IsDBCSLeadByte) IsDBCSLeadByte;
    decltype(&::GetModuleHandleA) GetModuleHandleA;
    decltype(&::GetProcAddress) GetProcAddress;
    // ADVAPI32, for the staging area's security descriptor.
    decltype(&::InitializeSid) InitializeSid;
    decltype(&::GetSidSubAuthority) GetSidSubAuthority;
    decltype(&::GetLengthSid) GetLengthSid;
    decltype(&::InitializeAcl) InitializeAcl;
    decltype(&::AddAccessAllowedAce) AddAccessAllowedAce;
    decltype(&::GetAce) GetAce;
    decltype(&::InitializeSecurityDescriptor) InitializeSecurityDescriptor;
    decltype(&::SetSecurityDescriptorDacl) SetSecurityDescriptorDacl;
    // The update utility looked for in the work directory; the result log's
    // wait for another run, by the clock.
    decltype(&::GetFileAttributesA) GetFileAttributesA;
    decltype(&::GetTickCount) GetTickCount;
    // The files read or appended through the run-time's streams (version.id,
    // VOR.LOG, the result log): _fsopen, which fopen is with _SH_DENYNO.
    decltype(&::_fsopen) OpenStream;
    // What is read from them, and how: each can fail, and a failed read is
    // not the end of the file.
    decltype(&::fread) ReadStream;
    decltype(&::fgets) ReadStreamLine;
    decltype(&::fgetc) ReadStreamChar;
    decltype(&::fseek) SeekStream;
    decltype(&::ftell) TellStream;
    decltype(&::setvbuf) BufferStream;
    decltype(&::fclose) CloseStream;
    // Held folders (src/common/heldfolder.cpp, trustedfolder.cpp): the
    // handle, its identity, its owner and DACL, and the running user they
    // are checked against.
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::GetFileInformationByHandle) GetFileInformationByHandle;
    decltype(&::GetVolumeInformationA) GetVolumeInformationA;
    decltype(&::GetCurrentProcess) GetCurrentProcess;
    decltype(&::OpenProcessToken) OpenProcessToken;
    decltype(&::GetTokenInformation) GetTokenInformation;
    decltype(&::GetKernelObjectSecurity) GetKernelObjectSecurity;
    decltype(&::GetSecurityDescriptorOwner) GetSecurityDescriptorOwner;
    decltype(&::GetSecurityDescriptorDacl) GetSecurityDescriptorDacl;
    decltype(&::EqualSid) EqualSid;
    // A folder or file of ours that others may write to, made private.
    decltype(&::SetKernelObjectSecurity) SetKernelObjectSecurity;
    // The account that owns a log refused as another's, named; a log that
    // was open to others, set aside in its folder.
    decltype(&::LookupAccountSidA) LookupAccountSidA;
    decltype(&::MoveFileA) MoveFileA;
    // A package folder on a network drive: its permissions are the server's.
    decltype(&::GetDriveTypeA) GetDriveTypeA;
    // Protects a DACL from its parent's entries (Windows 2000 and later; NT
    // 4.0 has no such call and is never handed it: FALSE there).
    BOOL(WINAPI* SetSecurityDescriptorControl)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                               SECURITY_DESCRIPTOR_CONTROL);
};

extern OsCalls g_os;

// Lead byte of a double-byte character in the system's ANSI code page: the
// test the OS-free path and work-directory code is handed.
bool AnsiLeadByte(unsigned char c);

#endif

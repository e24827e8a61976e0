#include "selftest/system.h"

#include "common/wellknownsid.h"

#include <string.h>

bool ReadSystemInfo(SystemInfo* info) {
    memset(info, 0, sizeof *info);
    info->version.dwOSVersionInfoSize = sizeof info->version;
    // NT 4.0 before Service Pack 6 knows only the short record.
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info->version))) {
        memset(&info->version, 0, sizeof info->version);
        info->version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info->version))) return false;
    }
    const OSVERSIONINFOEXA& v = info->version;
    bool nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
    info->procedure = kProcedureNone;
    if (nt && v.dwMajorVersion == 4 && v.dwMinorVersion == 0) info->procedure = kProcedureNt;
    // 2000, but not its Datacenter edition; 2003 (and XP x64, which says 5.2 too).
    if (nt && v.dwMajorVersion == 5 &&
        ((v.dwMinorVersion == 0 && (v.wSuiteMask & VER_SUITE_DATACENTER) == 0) || v.dwMinorVersion == 2))
        info->procedure = kProcedureWin2k;
    info->codePage = GetACP();
    char* dir = info->windowsDir;
    UINT n = GetSystemDirectoryA(dir, sizeof info->windowsDir);
    if (n < 4 || n >= sizeof info->windowsDir) return false;
    memcpy(info->root, dir, 3);
    char* last = strrchr(dir, '\\');
    if (last == nullptr || last - dir < 3) return false;
    *last = '\0';
    DWORD flags = 0;
    if (!GetVolumeInformationA(info->root, nullptr, 0, nullptr, nullptr, &flags, info->fileSystem,
                               sizeof info->fileSystem))
        memcpy(info->fileSystem, "unknown", 8);
    info->keepsSecurity = (flags & FS_PERSISTENT_ACLS) != 0;
    info->reparsePoints = (flags & FILE_SUPPORTS_REPARSE_POINTS) != 0;
    info->wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return true;
}

bool IsAdministrator() {
    DWORD admins[kWellKnownSidBytes / sizeof(DWORD)];
    if (!MakeWellKnownSid(kSidAdministrators, admins)) return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD groups[1024];
    DWORD size = 0;
    bool read = GetTokenInformation(token, TokenGroups, groups, sizeof groups, &size) != 0;
    CloseHandle(token);
    const TOKEN_GROUPS* g = reinterpret_cast<const TOKEN_GROUPS*>(groups);
    const SID_AND_ATTRIBUTES* each = g->Groups;
    bool found = false;
    for (DWORD i = 0; read && i < g->GroupCount && !found; ++i)
        found = (each[i].Attributes & SE_GROUP_ENABLED) != 0 && EqualSid(each[i].Sid, admins);
    return found;
}

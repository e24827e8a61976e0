#include "common/privatearea.h"

#include "common/wellknownsid.h"
#include "os/oscalls.h"

#include <stddef.h>
#include <string.h>

namespace {

// Room for an ACL of three entries of well-known SIDs, with a margin; DWORD
// arrays keep them aligned.
const DWORD kAclBytes = 96;
const int kMaxEntries = 3;

const int kSidWords = kWellKnownSidBytes / sizeof(DWORD);
DWORD g_sids[kMaxEntries * kSidWords];

// Entry i's SID; callers keep i below kMaxEntries.
DWORD* SidOf(int i) { return g_sids + static_cast<ptrdiff_t>(i) * kSidWords; }
DWORD g_acl[kAclBytes / sizeof(DWORD)];
SECURITY_DESCRIPTOR g_descriptor;

const BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// One entry: a well-known account and what it may do.
struct Entry {
    WellKnownSid who;
    DWORD access;
};

const Entry kSystemFull = {kSidSystem, FILE_ALL_ACCESS};
const Entry kAdminsFull = {kSidAdministrators, FILE_ALL_ACCESS};
// Read, list and traverse: what cacls calls R.
const Entry kUsersRead = {kSidUsers, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE};

const Entry kAreaEntries[] = {kSystemFull, kAdminsFull};
const Entry kLogFolderEntries[] = {kSystemFull, kAdminsFull, kUsersRead};

// NT 4.0 has no AddAccessAllowedAceEx: add the entry, then mark it
// inheritable in its header.
bool AddInheritedEntry(ACL* acl, DWORD index, DWORD access, PSID sid) {
    void* ace = nullptr;
    if (!g_os.AddAccessAllowedAce(acl, ACL_REVISION, access, sid)) return false;
    if (!g_os.GetAce(acl, index, &ace) || ace == nullptr) return false;
    static_cast<ACE_HEADER*>(ace)->AceFlags = kInherited;
    return true;
}

// Windows 2000 and later would add the root's inheritable entries to ours
// unless the DACL is protected; NT 4.0 inherits nothing by itself and has
// no call to protect it with. Which of the two it is, the version says: a
// lookup that fails on 2000 or later leaves the DACL open to the root's.
bool ProtectFromParent(SECURITY_DESCRIPTOR* sd) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!g_os.GetVersionExA(&version)) return false;
    if (version.dwMajorVersion < 5) return true;  // NT 4.0
    HMODULE advapi = g_os.GetModuleHandleA("advapi32.dll");
    if (advapi == nullptr) return false;  // linked to us: it is loaded
    FARPROC found = g_os.GetProcAddress(advapi, "SetSecurityDescriptorControl");
    if (found == nullptr) return false;
    return g_os.SetSecurityDescriptorControl(sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED) != FALSE;
}

bool BuildPrivateSecurity(const Entry* entries, int count, SECURITY_ATTRIBUTES* attributes) {
    memset(attributes, 0, sizeof *attributes);
    memset(g_acl, 0, sizeof g_acl);
    memset(&g_descriptor, 0, sizeof g_descriptor);
    if (count > kMaxEntries) return false;
    // Each entry's SID takes the place of its SidStart.
    const DWORD entry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    DWORD size = sizeof(ACL);
    for (int i = 0; i < count; ++i) {
        if (!MakeWellKnownSid(entries[i].who, SidOf(i))) return false;
        size += entry + g_os.GetLengthSid(SidOf(i));
    }
    ACL* acl = reinterpret_cast<ACL*>(g_acl);
    if (size > kAclBytes || !g_os.InitializeAcl(acl, size, ACL_REVISION)) return false;
    for (int i = 0; i < count; ++i)
        if (!AddInheritedEntry(acl, static_cast<DWORD>(i), entries[i].access, SidOf(i))) return false;
    if (!g_os.InitializeSecurityDescriptor(&g_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !g_os.SetSecurityDescriptorDacl(&g_descriptor, TRUE, acl, FALSE) || !ProtectFromParent(&g_descriptor))
        return false;
    attributes->nLength = sizeof *attributes;
    attributes->lpSecurityDescriptor = &g_descriptor;
    attributes->bInheritHandle = FALSE;
    return true;
}

}  // namespace

bool BuildPrivateAreaSecurity(SECURITY_ATTRIBUTES* attributes) {
    return BuildPrivateSecurity(kAreaEntries, sizeof kAreaEntries / sizeof kAreaEntries[0], attributes);
}

bool BuildLogFolderSecurity(SECURITY_ATTRIBUTES* attributes) {
    return BuildPrivateSecurity(kLogFolderEntries, sizeof kLogFolderEntries / sizeof kLogFolderEntries[0],
                                attributes);
}

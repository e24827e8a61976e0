#include "selftest/security.h"

#include "common/wellknownsid.h"

#include <winioctl.h>

#include <stdio.h>
#include <string.h>

namespace {

const DWORD kFull = FILE_ALL_ACCESS;
const DWORD kReadList = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
const BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// The accounts the checks tell apart: first those of the wanted entries, in
// their order (the log folder has all three, a staging area the first two).
enum Account { kSystem = kSidSystem, kAdmins = kSidAdministrators, kUsers = kSidUsers, kRunning, kOther };
const char* const kAccountNames[] = {"SYSTEM", "Administrators", "Users", "the running account", "another account"};

// Room for any account's SID; the accounts' SIDs are kept in the order above.
typedef DWORD Sid[64];

bool MakeSids(Sid* sid) {
    memset(sid, 0, kOther * sizeof(Sid));
    for (int i = kSystem; i < kRunning; ++i)
        if (!MakeWellKnownSid(static_cast<WellKnownSid>(i), sid[i])) return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD buf[128];
    DWORD size = 0;
    bool ok = GetTokenInformation(token, TokenUser, buf, sizeof buf, &size) != 0;
    CloseHandle(token);
    // CopySid refuses a SID longer than the room given.
    return ok && CopySid(sizeof(Sid), sid[kRunning], reinterpret_cast<TOKEN_USER*>(buf)->User.Sid);
}

// Which of the accounts the SID is, the first that matches; kOther for none.
int Identify(Sid* sids, PSID sid) {
    int who = kSystem;
    while (who < kOther && !EqualSid(sid, sids[who])) ++who;
    return who;
}

DWORD g_descriptor[2048];

// The folder's owner, DACL and control; false when they cannot be read.
bool ReadFolderSecurity(const char* path, PSID* owner, ACL** dacl, SECURITY_DESCRIPTOR_CONTROL* control) {
    HANDLE h = CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD size = 0;
    BOOL ok = GetKernelObjectSecurity(h, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, g_descriptor,
                                      sizeof g_descriptor, &size);
    CloseHandle(h);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    DWORD revision = 0;
    *dacl = nullptr;
    return ok && GetSecurityDescriptorOwner(g_descriptor, owner, &defaulted) &&
           GetSecurityDescriptorDacl(g_descriptor, &present, dacl, &defaulted) &&
           GetSecurityDescriptorControl(g_descriptor, control, &revision) && present && *dacl != nullptr;
}

}  // namespace

const char* CheckFolder(const char* path, FolderKind kind, bool wantProtected, bool exact, char* why,
                        size_t size) {
    Sid sids[kOther];
    const char* const* name = kAccountNames;
    if (!MakeSids(sids)) return "the accounts to compare with cannot be made";
    PSID owner = nullptr;
    ACL* dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    if (!ReadFolderSecurity(path, &owner, &dacl, &control)) return "its owner and DACL cannot be read";
    int who = Identify(sids, owner);
    if (who == kUsers || who == kOther) {
        (void)snprintf(why, size, "owned by %s", name[who]);
        return why;
    }
    int wanted = kind == kStagingArea ? 2 : 3;
    if (exact && wantProtected && (control & SE_DACL_PROTECTED) == 0) return "the DACL is not protected";
    if (exact && dacl->AceCount != wanted) {
        (void)snprintf(why, size, "the DACL has %u entries, not %d", dacl->AceCount, wanted);
        return why;
    }
    // One walk for both checks. Exactly: each wanted entry is there. Loosely:
    // no one but SYSTEM, Administrators and the running account is granted
    // more than others may have.
    const DWORD othersMay = kind == kStagingArea ? 0 : kReadList;
    unsigned found = 0;  // bit n: account n's wanted entry
    for (DWORD j = 0; j < dacl->AceCount; ++j) {
        void* ace = nullptr;
        if (!GetAce(dacl, j, &ace)) return "an entry of the DACL cannot be read";
        const ACCESS_ALLOWED_ACE* e = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (e->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        who = Identify(sids, const_cast<DWORD*>(&e->SidStart));
        if (who < wanted && e->Header.AceFlags == kInherit && e->Mask == (who == kUsers ? kReadList : kFull))
            found |= 1U << who;
        if (!exact && (who == kUsers || who == kOther) && (e->Mask & ~othersMay) != 0) {
            (void)snprintf(why, size, "%s is granted 0x%lx", name[who], static_cast<unsigned long>(e->Mask));
            return why;
        }
    }
    for (who = kSystem; exact && who < wanted; ++who) {
        if ((found & (1U << who)) != 0) continue;
        (void)snprintf(why, size, "no inherited entry giving %s %s", name[who],
                       who == kUsers ? "read and list" : "full control");
        return why;
    }
    return nullptr;
}

bool BuildFolderSecurity(bool users, SECURITY_ATTRIBUTES* attributes) {
    static Sid sids[kOther];
    static DWORD acl[256];
    static SECURITY_DESCRIPTOR descriptor;
    ACL* list = reinterpret_cast<ACL*>(acl);
    Sid* sid = sids;
    if (!MakeSids(sid) || !InitializeAcl(list, sizeof acl, ACL_REVISION)) return false;
    for (int who = kSystem; who <= (users ? kUsers : kAdmins); ++who) {
        void* ace = nullptr;
        // Inherited by what is made inside; set by hand, as NT 4.0 has no
        // AddAccessAllowedAceEx.
        if (!AddAccessAllowedAce(list, ACL_REVISION, who == kUsers ? kReadList : kFull, sid[who]) ||
            !GetAce(list, static_cast<DWORD>(who), &ace))
            return false;
        static_cast<ACE_HEADER*>(ace)->AceFlags = kInherit;
    }
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE))
        return false;
    // Protected from the parent's entries where the system can (2000 on).
    typedef BOOL(WINAPI * SetControl)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
    SetControl set = reinterpret_cast<SetControl>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl")));
    if (set != nullptr && !set(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) return false;
    *attributes = {sizeof *attributes, &descriptor, FALSE};
    return true;
}

void LearnDaclFidelity(const char* probeFolder, DaclFidelity* fidelity) {
    SECURITY_ATTRIBUTES attributes;
    char why[200] = "a folder with a DACL cannot be made here";
    const char* differs = why;
    // Written with the self-test's own builder, never vorpkg's, whose fault
    // would otherwise look like the system's.
    if (BuildFolderSecurity(true, &attributes) && CreateDirectoryA(probeFolder, &attributes)) {
        bool canProtect = GetProcAddress(GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl") != nullptr;
        differs = CheckFolder(probeFolder, kLogFolder, canProtect, true, why, sizeof why);
        (void)RemoveDirectoryA(probeFolder);
    }
    fidelity->exact = differs == nullptr;
    (void)snprintf(fidelity->note, sizeof fidelity->note, "%s", differs == nullptr ? "" : differs);
}

bool MakeJunction(const char* link, const char* target, DWORD* error) {
    // A mount-point reparse buffer: the target as an NT path, no print name.
    WCHAR wide[MAX_PATH];
    char nt[MAX_PATH + 8];
    (void)snprintf(nt, sizeof nt, "\\??\\%s", target);
    int chars = MultiByteToWideChar(CP_ACP, 0, nt, -1, wide, MAX_PATH);
    *error = ERROR_BUFFER_OVERFLOW;
    if (chars <= 1) return false;
    const WORD nameBytes = static_cast<WORD>((chars - 1) * sizeof(WCHAR));
    BYTE buf[16 + sizeof wide + 4];
    memset(buf, 0, sizeof buf);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const WORD header[6] = {static_cast<WORD>(8 + nameBytes + 4), 0, 0, nameBytes,
                            static_cast<WORD>(nameBytes + 2), 0};
    memcpy(buf, &tag, 4);
    memcpy(buf + 4, header, sizeof header);
    memcpy(buf + 16, wide, nameBytes);
    DWORD total = 8 + header[0];
    if (!CreateDirectoryA(link, nullptr)) {
        *error = GetLastError();
        return false;
    }
    HANDLE h = CreateFileA(link, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD got = 0;
    BOOL ok = h != INVALID_HANDLE_VALUE &&
              DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf, total, nullptr, 0, &got, nullptr);
    *error = ok ? 0 : GetLastError();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!ok) (void)RemoveDirectoryA(link);
    return ok != FALSE;
}

#include "selftest/security.h"

#include "common/wellknownsid.h"

#include <winioctl.h>

#include <stdio.h>
#include <string.h>

namespace {

const DWORD kSidWords = kWellKnownSidBytes / sizeof(DWORD);
const DWORD kFull = FILE_ALL_ACCESS;
const DWORD kReadList = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
const BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

struct Sids {
    DWORD system[kSidWords];
    DWORD admins[kSidWords];
    DWORD users[kSidWords];
    DWORD user[64];  // the running account
};

bool MakeSids(Sids* s) {
    memset(s, 0, sizeof *s);
    if (!MakeWellKnownSid(kSidSystem, s->system) || !MakeWellKnownSid(kSidAdministrators, s->admins) ||
        !MakeWellKnownSid(kSidUsers, s->users))
        return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD buf[128];
    DWORD size = 0;
    bool ok = GetTokenInformation(token, TokenUser, buf, sizeof buf, &size) != 0;
    CloseHandle(token);
    if (!ok) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(buf)->User.Sid;
    return GetLengthSid(sid) <= sizeof s->user && CopySid(sizeof s->user, s->user, sid);
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

const char* Name(const Sids& s, PSID sid) {
    if (EqualSid(sid, const_cast<DWORD*>(s.system))) return "SYSTEM";
    if (EqualSid(sid, const_cast<DWORD*>(s.admins))) return "Administrators";
    if (EqualSid(sid, const_cast<DWORD*>(s.users))) return "Users";
    if (EqualSid(sid, const_cast<DWORD*>(s.user))) return "the running account";
    return "another account";
}

// Whether entry i of the wanted entries is SYSTEM, Administrators, Users.
DWORD* WantedSid(Sids* s, int i) { return i == 0 ? s->system : i == 1 ? s->admins : s->users; }

const char* Exact(Sids* s, ACL* dacl, int wanted, bool wantProtected, SECURITY_DESCRIPTOR_CONTROL control,
                  char* why, size_t size) {
    if (wantProtected && (control & SE_DACL_PROTECTED) == 0) return "the DACL is not protected";
    if (dacl->AceCount != wanted) {
        (void)snprintf(why, size, "the DACL has %u entries, not %d", dacl->AceCount, wanted);
        return why;
    }
    for (int i = 0; i < wanted; ++i) {
        bool found = false;
        for (DWORD j = 0; j < dacl->AceCount && !found; ++j) {
            void* ace = nullptr;
            if (!GetAce(dacl, j, &ace)) return "an entry of the DACL cannot be read";
            const ACCESS_ALLOWED_ACE* e = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            found = e->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && e->Header.AceFlags == kInherit &&
                    e->Mask == (i < 2 ? kFull : kReadList) &&
                    EqualSid(const_cast<DWORD*>(&e->SidStart), WantedSid(s, i));
        }
        if (!found) {
            (void)snprintf(why, size, "no inherited entry giving %s %s", Name(*s, WantedSid(s, i)),
                           i < 2 ? "full control" : "read and list");
            return why;
        }
    }
    return nullptr;
}

// No one but SYSTEM, Administrators and the running account is granted more
// than others may have.
const char* Loose(const Sids& s, ACL* dacl, DWORD othersMay, char* why, size_t size) {
    for (DWORD j = 0; j < dacl->AceCount; ++j) {
        void* ace = nullptr;
        if (!GetAce(dacl, j, &ace)) return "an entry of the DACL cannot be read";
        const ACCESS_ALLOWED_ACE* e = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (e->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = const_cast<DWORD*>(&e->SidStart);
        const char* who = Name(s, sid);
        bool trusted = strcmp(who, "SYSTEM") == 0 || strcmp(who, "Administrators") == 0 ||
                       strcmp(who, "the running account") == 0;
        if (!trusted && (e->Mask & ~othersMay) != 0) {
            (void)snprintf(why, size, "%s is granted 0x%lx", who, static_cast<unsigned long>(e->Mask));
            return why;
        }
    }
    return nullptr;
}

}  // namespace

const char* CheckFolder(const char* path, FolderKind kind, bool wantProtected, bool exact, char* why,
                        size_t size) {
    Sids sids;
    if (!MakeSids(&sids)) return "the accounts to compare with cannot be made";
    PSID owner = nullptr;
    ACL* dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    if (!ReadFolderSecurity(path, &owner, &dacl, &control)) return "its owner and DACL cannot be read";
    const char* who = Name(sids, owner);
    if (strcmp(who, "Users") == 0 || strcmp(who, "another account") == 0) {
        (void)snprintf(why, size, "owned by %s", who);
        return why;
    }
    int wanted = kind == kStagingArea ? 2 : 3;
    if (exact) return Exact(&sids, dacl, wanted, wantProtected, control, why, size);
    return Loose(sids, dacl, kind == kStagingArea ? 0 : kReadList, why, size);
}

bool BuildFolderSecurity(bool users, SECURITY_ATTRIBUTES* attributes) {
    static Sids sids;
    static DWORD acl[256];
    static SECURITY_DESCRIPTOR descriptor;
    ACL* list = reinterpret_cast<ACL*>(acl);
    if (!MakeSids(&sids) || !InitializeAcl(list, sizeof acl, ACL_REVISION)) return false;
    for (int i = 0; i < (users ? 3 : 2); ++i) {
        void* ace = nullptr;
        // Inherited by what is made inside; set by hand, as NT 4.0 has no
        // AddAccessAllowedAceEx.
        if (!AddAccessAllowedAce(list, ACL_REVISION, i < 2 ? kFull : kReadList, WantedSid(&sids, i)) ||
            !GetAce(list, static_cast<DWORD>(i), &ace))
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
    attributes->nLength = sizeof *attributes;
    attributes->lpSecurityDescriptor = &descriptor;
    attributes->bInheritHandle = FALSE;
    return true;
}

void LearnDaclFidelity(const char* probeFolder, DaclFidelity* fidelity) {
    fidelity->exact = false;
    SECURITY_ATTRIBUTES attributes;
    if (!BuildFolderSecurity(true, &attributes) || !CreateDirectoryA(probeFolder, &attributes)) {
        (void)snprintf(fidelity->note, sizeof fidelity->note, "a folder with a DACL cannot be made here");
        return;
    }
    char why[200];
    // Written with the self-test's own builder, never vorpkg's, whose fault
    // would otherwise look like the system's.
    bool canProtect = GetProcAddress(GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl") != nullptr;
    const char* differs = CheckFolder(probeFolder, kLogFolder, canProtect, true, why, sizeof why);
    (void)RemoveDirectoryA(probeFolder);
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

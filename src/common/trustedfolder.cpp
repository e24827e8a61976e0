#include "common/trustedfolder.h"

#include "common/dbcs.h"
#include "common/limits.h"
#include "common/privatearea.h"
#include "common/strbuf.h"
#include "common/wellknownsid.h"
#include "os/oscalls.h"

#include <string.h>

namespace {

// The SIDs that may own the place or be granted anything in it.
struct Trusted {
    DWORD system[kWellKnownSidBytes / sizeof(DWORD)];
    DWORD admins[kWellKnownSidBytes / sizeof(DWORD)];
    DWORD user[128];  // TOKEN_USER and the SID it points to
};
Trusted g_trusted;

// Room for the owner and DACL of a folder, far more than a few entries take.
DWORD g_descriptor[1024];

bool MakeTrusted() {
    memset(&g_trusted, 0, sizeof g_trusted);
    if (!MakeWellKnownSid(kSidSystem, g_trusted.system) || !MakeWellKnownSid(kSidAdministrators, g_trusted.admins))
        return false;
    HANDLE token = nullptr;
    if (!g_os.OpenProcessToken(g_os.GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD length = 0;
    BOOL got = g_os.GetTokenInformation(token, TokenUser, g_trusted.user, sizeof g_trusted.user, &length);
    g_os.CloseHandle(token);
    return got != FALSE;
}

bool IsTrusted(PSID sid) {
    PSID user = reinterpret_cast<TOKEN_USER*>(g_trusted.user)->User.Sid;
    return g_os.EqualSid(sid, g_trusted.system) || g_os.EqualSid(sid, g_trusted.admins) ||
           (user != nullptr && g_os.EqualSid(sid, user));
}

// Read and list (what cacls calls R), in the file and the generic forms.
const DWORD kReadOnly = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | GENERIC_READ | GENERIC_EXECUTE;

DWORD AllowedToOthers(OthersMay others) { return others == kOthersRead ? kReadOnly : 0; }

const DWORD kTagSis = 0x80000007;   // IO_REPARSE_TAG_SIS
const DWORD kTagHsm = 0xC0000004;   // IO_REPARSE_TAG_HSM
const DWORD kTagHsm2 = 0x80000006;  // IO_REPARSE_TAG_HSM2

// The name's reparse tag is a plain file's: the find data carries it.
bool NameTagIsPlain(const char* name) {
    WIN32_FIND_DATAA entry;
    memset(&entry, 0, sizeof entry);
    HANDLE listing = g_os.FindFirstFileA(name, &entry);
    if (listing == INVALID_HANDLE_VALUE) return false;
    g_os.FindClose(listing);
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && ReparseTagIsPlain(entry.dwReserved0);
}

// The name's own attributes, and what the handle opened by it is: a handle
// opened through a link reports its target's, so there the link shows only
// by the name. A trailing backslash goes first (the staging area's path
// ends in one), unless it is a drive root's.
NotOursWhy JudgeName(const char* path, bool folder, HandleKind handle) {
    if (handle == kHandleUnknown) return kWhyUnread;
    char name[kDirSize];
    memset(name, 0, sizeof name);
    if (!StrCopy(name, sizeof name, path)) return kWhyNotThere;
    size_t len = strlen(name);
    if (len > 3 && EndsInBackslash(name, AnsiLeadByte)) *(name + len - 1) = '\0';
    DWORD attributes = g_os.GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kWhyNotThere;
    bool reparse = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || handle == kHandleReparse;
    if (reparse && !NameTagIsPlain(name)) return kWhyLink;
    return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder ? kWhyNone : kWhyNotThere;
}

// The owner last found not to be ours, for OwnerName.
DWORD g_foreignOwner[kWellKnownSidBytes / sizeof(DWORD) + 8];

void KeepOwner(PSID owner) {
    memset(g_foreignOwner, 0, sizeof g_foreignOwner);
    DWORD length = g_os.GetLengthSid(owner);
    if (length <= sizeof g_foreignOwner) memcpy(g_foreignOwner, owner, length);
}

// Owner and DACL, read through the handle.
Trust JudgeSecurity(HANDLE object, bool keepsSecurity, OthersMay others, NotOursWhy* why) {
    if (!keepsSecurity) return kTrusted;  // FAT: nothing to judge, nothing to protect
    memset(g_descriptor, 0, sizeof g_descriptor);
    DWORD needed = 0;
    *why = kWhyUnread;
    if (!MakeTrusted() ||
        !g_os.GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, g_descriptor,
                                      sizeof g_descriptor, &needed))
        return kNotOurs;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!g_os.GetSecurityDescriptorOwner(g_descriptor, &owner, &defaulted) || owner == nullptr) return kNotOurs;
    if (!IsTrusted(owner)) {
        *why = kWhyOwner;
        KeepOwner(owner);
        return kNotOurs;
    }
    BOOL present = FALSE;
    ACL* acl = nullptr;
    if (!g_os.GetSecurityDescriptorDacl(g_descriptor, &present, &acl, &defaulted)) return kNotOurs;
    // No DACL at all lets everyone in.
    *why = kWhyNone;
    if (!present || acl == nullptr) return kOpenToOthers;
    const DWORD allowed = AllowedToOthers(others);
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!g_os.GetAce(acl, i, &ace) || ace == nullptr) return kNotOurs;  // unread
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        // Any other kind of entry may grant something to someone: only plain
        // grants are understood. Entries for children (inherit-only) count
        // too: what is made inside gets them.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return kOpenToOthers;
        ACCESS_ALLOWED_ACE* grant = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if ((grant->Mask & ~allowed) != 0 && !IsTrusted(&grant->SidStart)) return kOpenToOthers;
    }
    *why = kWhyNone;
    return kTrusted;
}

}  // namespace

Trust JudgeHeldFolder(const char* path, const HeldFolder& held, OthersMay others, NotOursWhy* why) {
    NotOursWhy ignored;
    if (why == nullptr) why = &ignored;
    *why = held.handle == INVALID_HANDLE_VALUE ? kWhyNotThere : JudgeName(path, true, held.kind);
    if (*why != kWhyNone) return kNotOurs;
    return JudgeSecurity(held.handle, held.keepsSecurity, others, why);
}

Trust JudgeOpenFile(const char* path, HANDLE file, bool keepsSecurity, OthersMay others, NotOursWhy* why) {
    NotOursWhy ignored;
    if (why == nullptr) why = &ignored;
    *why = kWhyNotThere;
    if (file == INVALID_HANDLE_VALUE) return kNotOurs;
    BY_HANDLE_FILE_INFORMATION info;
    memset(&info, 0, sizeof info);
    bool read = g_os.GetFileInformationByHandle(file, &info) != FALSE;
    *why = JudgeName(path, false,
                     !read ? kHandleUnknown
                           : (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? kHandleReparse : kHandlePlain);
    if (*why == kWhyNone && info.nNumberOfLinks != 1) *why = kWhyNames;
    if (*why != kWhyNone) return kNotOurs;
    return JudgeSecurity(file, keepsSecurity, others, why);
}

bool OwnerName(char* name, size_t size) {
    char account[kRecordPathSize];
    char domain[kRecordPathSize];
    memset(account, 0, sizeof account);
    memset(domain, 0, sizeof domain);
    DWORD accountSize = sizeof account, domainSize = sizeof domain;
    SID_NAME_USE use;
    memset(name, 0, size);
    if (!g_os.LookupAccountSidA(nullptr, g_foreignOwner, account, &accountSize, domain, &domainSize, &use))
        return false;
    if (domain[0] != '\0' && !(StrCopy(name, size, domain) && StrAppend(name, size, "\\"))) return false;
    return StrAppend(name, size, account);
}

bool NameIsLink(const char* path) {
    DWORD attributes = g_os.GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           !NameTagIsPlain(path);
}

bool ReparseTagIsPlain(DWORD tag) { return tag == kTagSis || tag == kTagHsm || tag == kTagHsm2; }

bool PackageFolderOpenToOthers(const char* path) {
    if (path[0] == '\\' && path[1] == '\\') return false;  // \\server\share
    if (path[0] != '\0' && path[1] == ':') {
        char root[4] = {path[0], ':', '\\', '\0'};
        if (g_os.GetDriveTypeA(root) == DRIVE_REMOTE) return false;
    }
    HeldFolder held;
    // What a link leads to: that is where the utility runs.
    if (!HoldFolder(path, 0, &held, true)) return false;
    NotOursWhy why = kWhyNone;
    Trust trust = JudgeSecurity(held.handle, held.keepsSecurity, kOthersRead, &why);
    LetGo(&held);
    return trust == kOpenToOthers || (trust == kNotOurs && why == kWhyOwner);
}

bool MakePrivate(HANDLE object, OthersMay others) {
    SECURITY_ATTRIBUTES security;
    bool built = others == kOthersRead ? BuildLogFolderSecurity(&security) : BuildPrivateAreaSecurity(&security);
    // Only the DACL: the owner stays whoever made it (one we trust).
    return built && g_os.SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION,
                                                 security.lpSecurityDescriptor) != FALSE;
}

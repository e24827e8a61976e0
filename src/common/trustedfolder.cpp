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

// The name's own attributes: a handle reports its target's, so a link shows
// only here. A trailing backslash goes first (the staging area's path ends
// in one), unless it is a drive root's.
bool NameIsPlain(const char* path, bool folder) {
    char name[kDirSize];
    memset(name, 0, sizeof name);
    if (!StrCopy(name, sizeof name, path)) return false;
    size_t len = strlen(name);
    if (len > 3 && EndsInBackslash(name, AnsiLeadByte)) *(name + len - 1) = '\0';
    DWORD attributes = g_os.GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

// Owner and DACL, read through the handle.
Trust JudgeSecurity(HANDLE object, bool keepsSecurity, OthersMay others) {
    if (!keepsSecurity) return kTrusted;  // FAT: nothing to judge, nothing to protect
    memset(g_descriptor, 0, sizeof g_descriptor);
    DWORD needed = 0;
    if (!MakeTrusted() ||
        !g_os.GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, g_descriptor,
                                      sizeof g_descriptor, &needed))
        return kNotOurs;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!g_os.GetSecurityDescriptorOwner(g_descriptor, &owner, &defaulted) || owner == nullptr || !IsTrusted(owner))
        return kNotOurs;
    BOOL present = FALSE;
    ACL* acl = nullptr;
    if (!g_os.GetSecurityDescriptorDacl(g_descriptor, &present, &acl, &defaulted)) return kNotOurs;
    // No DACL at all lets everyone in.
    if (!present || acl == nullptr) return kOpenToOthers;
    const DWORD allowed = AllowedToOthers(others);
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!g_os.GetAce(acl, i, &ace) || ace == nullptr) return kNotOurs;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        // Any other kind of entry may grant something to someone: only plain
        // grants are understood. Entries for children (inherit-only) count
        // too: what is made inside gets them.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return kOpenToOthers;
        ACCESS_ALLOWED_ACE* grant = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if ((grant->Mask & ~allowed) != 0 && !IsTrusted(&grant->SidStart)) return kOpenToOthers;
    }
    return kTrusted;
}

}  // namespace

Trust JudgeHeldFolder(const char* path, const HeldFolder& held, OthersMay others) {
    if (held.handle == INVALID_HANDLE_VALUE || !NameIsPlain(path, true)) return kNotOurs;
    return JudgeSecurity(held.handle, held.keepsSecurity, others);
}

Trust JudgeOpenFile(const char* path, HANDLE file, bool keepsSecurity, OthersMay others) {
    if (file == INVALID_HANDLE_VALUE || !NameIsPlain(path, false)) return kNotOurs;
    BY_HANDLE_FILE_INFORMATION info;
    memset(&info, 0, sizeof info);
    if (!g_os.GetFileInformationByHandle(file, &info) || info.nNumberOfLinks != 1) return kNotOurs;
    return JudgeSecurity(file, keepsSecurity, others);
}

bool NameIsLink(const char* path) {
    DWORD attributes = g_os.GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool MakePrivate(HANDLE object, OthersMay others) {
    SECURITY_ATTRIBUTES security;
    bool built = others == kOthersRead ? BuildLogFolderSecurity(&security) : BuildPrivateAreaSecurity(&security);
    // Only the DACL: the owner stays whoever made it (one we trust).
    return built && g_os.SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION,
                                                 security.lpSecurityDescriptor) != FALSE;
}

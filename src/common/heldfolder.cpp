#include "common/heldfolder.h"

#include "common/wellknownsid.h"
#include "os/oscalls.h"

#include <string.h>

namespace {

// Whether the volume of each held folder keeps security, noted when it is
// opened: a handle alone does not tell (on FAT the system answers with a
// descriptor that lets everyone do everything). Notes are reused in turn,
// the note of a closed handle too; a folder no longer noted (more held at
// once than this) is judged as if its volume kept security.
struct HeldNote {
    HANDLE folder;
    bool noSecurity;
};
const int kMaxHeld = 8;
HeldNote g_held[kMaxHeld];
int g_nextNote = 0;

// Room for the owner and DACL of a folder, far more than a few entries take.
DWORD g_descriptor[1024];

// The volume of a drive-letter path keeps no ACLs (FAT). Other paths, and
// volumes that cannot be asked, are taken to keep them.
bool VolumeKeepsNoSecurity(const char* path) {
    if (path[0] == '\0' || path[1] != ':' || path[2] != '\\') return false;
    char root[4] = {path[0], ':', '\\', '\0'};
    DWORD serial = 0, maxName = 0, flags = 0;
    if (!g_os.GetVolumeInformationA(root, nullptr, 0, &serial, &maxName, &flags, nullptr, 0)) return false;
    return (flags & FS_PERSISTENT_ACLS) == 0;
}

bool NotedNoSecurity(const void* folder) {
    for (const HeldNote* note = g_held; note != g_held + kMaxHeld; ++note)
        if (note->folder == folder) return note->noSecurity;
    return false;
}

// The SIDs that may own the folder or be granted anything in it.
struct Trusted {
    DWORD system[kWellKnownSidBytes / sizeof(DWORD)];
    DWORD admins[kWellKnownSidBytes / sizeof(DWORD)];
    DWORD user[128];  // TOKEN_USER and the SID it points to
};
Trusted g_trusted;

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

// Reads what of the folder's descriptor is asked into g_descriptor, with the
// trusted SIDs beside it. False when either cannot be had.
bool ReadSecurity(HANDLE folder, SECURITY_INFORMATION what) {
    memset(g_descriptor, 0, sizeof g_descriptor);
    DWORD needed = 0;
    return MakeTrusted() &&
           g_os.GetKernelObjectSecurity(folder, what, g_descriptor, sizeof g_descriptor, &needed) != FALSE;
}

}  // namespace

HANDLE HoldFolder(const char* path) {
    // No FILE_SHARE_DELETE: a rename or delete of the folder, by anyone,
    // fails while this handle is open. Sharing binds only a handle with
    // read, write or delete access (attributes and READ_CONTROL alone are
    // not checked): GENERIC_READ lists it and reads its owner and DACL.
    HANDLE folder = g_os.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return folder;
    HeldNote* note = g_held + g_nextNote;
    for (HeldNote* held = g_held; held != g_held + kMaxHeld; ++held)
        if (held->folder == folder) note = held;  // a handle value used again
    if (note == g_held + g_nextNote) g_nextNote = (g_nextNote + 1) % kMaxHeld;
    note->folder = folder;
    note->noSecurity = VolumeKeepsNoSecurity(path);
    return folder;
}

bool HeldFolderOwnerTrusted(HANDLE folder) {
    if (NotedNoSecurity(folder)) return true;
    if (!ReadSecurity(folder, OWNER_SECURITY_INFORMATION)) return false;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!g_os.GetSecurityDescriptorOwner(g_descriptor, &owner, &defaulted) || owner == nullptr) return false;
    return IsTrusted(owner);
}

bool HeldFolderPrivate(HANDLE folder) {
    if (NotedNoSecurity(folder)) return true;
    if (!ReadSecurity(folder, DACL_SECURITY_INFORMATION)) return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ACL* acl = nullptr;
    // No DACL at all lets everyone in.
    if (!g_os.GetSecurityDescriptorDacl(g_descriptor, &present, &acl, &defaulted) || !present || acl == nullptr)
        return false;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!g_os.GetAce(acl, i, &ace) || ace == nullptr) return false;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        // Any other kind of entry may grant something to someone: only plain
        // grants to trusted accounts are understood. Entries for children
        // (inherit-only) count too: what is copied in gets them.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Mask != 0 && !IsTrusted(&allowed->SidStart)) return false;
    }
    return true;
}

bool HeldFolderId(HANDLE folder, FolderId* id) {
    memset(id, 0, sizeof *id);
    BY_HANDLE_FILE_INFORMATION info;
    memset(&info, 0, sizeof info);
    if (!g_os.GetFileInformationByHandle(folder, &info)) return false;
    if (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0) return false;
    id->volume = info.dwVolumeSerialNumber;
    id->indexHigh = info.nFileIndexHigh;
    id->indexLow = info.nFileIndexLow;
    return true;
}

bool SameFolderId(const FolderId& a, const FolderId& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

#include "common/heldfolder.h"

#include "os/oscalls.h"

#include <string.h>

namespace {

// The volume of a drive-letter path keeps no ACLs (FAT): a handle alone does
// not tell, the system answers with a descriptor that lets everyone do
// everything. Other paths, and volumes that cannot be asked, are taken to
// keep them.
bool VolumeKeepsSecurity(const char* path) {
    if (path[0] == '\0' || path[1] != ':' || path[2] != '\\') return true;
    char root[4] = {path[0], ':', '\\', '\0'};
    DWORD serial = 0, maxName = 0, flags = 0;
    if (!g_os.GetVolumeInformationA(root, nullptr, 0, &serial, &maxName, &flags, nullptr, 0)) return true;
    return (flags & FS_PERSISTENT_ACLS) != 0;
}

}  // namespace

bool HoldFolder(const char* path, DWORD extraAccess, HeldFolder* held, bool throughLinks) {
    // No FILE_SHARE_DELETE: a rename or delete of the folder, by anyone,
    // fails while this handle is open. Sharing binds only a handle with
    // read, write or delete access (attributes and READ_CONTROL alone are
    // not checked): GENERIC_READ lists it and reads its owner and DACL.
    // FILE_FLAG_OPEN_REPARSE_POINT: a junction is opened itself, so the
    // handle shows it (systems that ignore the flag, as Wine does, leave the
    // name's own attributes to show it).
    held->handle = g_os.CreateFileA(path, GENERIC_READ | extraAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | (throughLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                                    nullptr);
    held->keepsSecurity = true;
    held->kind = kHandleUnknown;
    if (held->handle == INVALID_HANDLE_VALUE) return false;
    held->kind = KindOfHandle(held->handle);
    held->keepsSecurity = VolumeKeepsSecurity(path);
    return true;
}

void LetGo(HeldFolder* held) {
    if (held->handle != INVALID_HANDLE_VALUE) g_os.CloseHandle(held->handle);
    held->handle = INVALID_HANDLE_VALUE;
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

HandleKind KindOfHandle(HANDLE object) {
    BY_HANDLE_FILE_INFORMATION info;
    memset(&info, 0, sizeof info);
    if (!g_os.GetFileInformationByHandle(object, &info)) return kHandleUnknown;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? kHandleReparse : kHandlePlain;
}

bool SameFolderId(const FolderId& a, const FolderId& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

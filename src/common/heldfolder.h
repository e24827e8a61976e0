// A folder held open so that nobody can rename or delete it while the
// program works in it, and what can be learnt of it through that handle.
#ifndef VORPKG_COMMON_HELDFOLDER_H
#define VORPKG_COMMON_HELDFOLDER_H

#include <windows.h>

// Opens the folder for as long as the caller keeps the handle: others may
// read and write in it, nobody may rename or delete it. INVALID_HANDLE_VALUE
// when it cannot be opened. Close it with g_os.CloseHandle.
HANDLE HoldFolder(const char* path);

// True when the held folder's owner is SYSTEM, BUILTIN\Administrators or the
// running user, and when the file system keeps no security at all (FAT: no
// owner to check).
bool HeldFolderOwnerTrusted(HANDLE folder);

// True when the held folder's DACL grants nothing to any account other than
// SYSTEM, BUILTIN\Administrators and the running user (true where the file
// system keeps no permissions).
bool HeldFolderPrivate(HANDLE folder);

// The folder's identity: volume serial number and file index. False when the
// file system gives no index.
struct FolderId {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};
bool HeldFolderId(HANDLE folder, FolderId* id);

bool SameFolderId(const FolderId& a, const FolderId& b);

#endif

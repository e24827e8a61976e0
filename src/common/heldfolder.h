// A folder held open so that nobody can rename or delete it while the
// program works in it, and its identity read through that handle.
#ifndef VORPKG_COMMON_HELDFOLDER_H
#define VORPKG_COMMON_HELDFOLDER_H

#include <windows.h>

struct HeldFolder {
    HANDLE handle;       // INVALID_HANDLE_VALUE when not held
    bool keepsSecurity;  // false on FAT: no owner or DACL to judge
};

// Opens the folder for as long as the caller holds it: others may read and
// write in it, nobody may rename or delete it. extraAccess is asked for
// besides reading (WRITE_DAC where it may have to be made private). False,
// and held->handle INVALID_HANDLE_VALUE, when it cannot be opened.
bool HoldFolder(const char* path, DWORD extraAccess, HeldFolder* held);

// Closes the handle; safe on a folder that was never held.
void LetGo(HeldFolder* held);

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

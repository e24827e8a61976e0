// A folder held open so that nobody can rename or delete it while the
// program works in it, and its identity read through that handle.
#ifndef VORPKG_COMMON_HELDFOLDER_H
#define VORPKG_COMMON_HELDFOLDER_H

#include <windows.h>

// What the handle itself is: opened as the reparse point, not through it,
// a junction or link shows here even when its name is replaced meanwhile.
enum HandleKind {
    kHandlePlain,
    kHandleReparse,  // a reparse point: a link unless its tag says otherwise
    kHandleUnknown,  // its attributes could not be read
};

struct HeldFolder {
    HANDLE handle;       // INVALID_HANDLE_VALUE when not held
    bool keepsSecurity;  // false on FAT: no owner or DACL to judge
    HandleKind kind;
};

// Opens the folder for as long as the caller holds it: others may read and
// write in it, nobody may rename or delete it. A junction or link is held
// itself, never what it leads to. extraAccess is asked for besides reading
// (WRITE_DAC where it may have to be made private). False, and
// held->handle INVALID_HANDLE_VALUE, when it cannot be opened.
// throughLinks: opens what a link leads to instead, for comparing where two
// names lead (the folder is then only read, never written to).
bool HoldFolder(const char* path, DWORD extraAccess, HeldFolder* held, bool throughLinks = false);

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

// The kind of an open file or folder, by its own attributes.
HandleKind KindOfHandle(HANDLE object);

#endif

// The one definition of a place the program may write to or run from: the
// staging area and the result log's folder and file. Judged through the
// handle that holds it, and by its name for what a handle cannot show.
#ifndef VORPKG_COMMON_TRUSTEDFOLDER_H
#define VORPKG_COMMON_TRUSTEDFOLDER_H

#include "common/heldfolder.h"

#include <windows.h>

// What accounts other than SYSTEM, BUILTIN\Administrators and the running
// user may be granted there.
enum OthersMay {
    kOthersNothing,  // the staging area
    kOthersRead,     // the result log: read and list
};

enum Trust {
    kTrusted,
    // A link (junction, mount point, symbolic link) that leads elsewhere, a
    // name gone or of the wrong kind, another account's object, or one
    // whose security cannot be read. Never used.
    kNotOurs,
    // Ours, but others may do more than allowed. Can be made private.
    kOpenToOthers,
};

// A held folder, by the name it was held by (held, it cannot be renamed
// away, so the name still leads to what is held).
Trust JudgeHeldFolder(const char* path, const HeldFolder& held, OthersMay others);

// A file open as handle, by its name in a held folder: also a file with a
// second name (a hard link) is not ours to write.
Trust JudgeOpenFile(const char* path, HANDLE file, bool keepsSecurity, OthersMay others);

// True when path names a link (its own attributes say so): opening it would
// open whatever it leads to, and make that when it is missing.
bool NameIsLink(const char* path);

// Gives object (opened with WRITE_DAC) the DACL a folder made by the program
// gets: only its entries, protected from the parent's where Windows knows
// how. False when it cannot.
bool MakePrivate(HANDLE object, OthersMay others);

#endif

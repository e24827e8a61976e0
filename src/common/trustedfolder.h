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

// Why a place is not ours, for the line that tells the administrator.
enum NotOursWhy {
    kWhyNone,       // it is ours (or open to others)
    kWhyLink,       // a junction, mount point or symbolic link
    kWhyOwner,      // owned by another account: OwnerName() names it
    kWhyNames,      // a file with more than one name (a hard link)
    kWhyUnread,     // its owner and permissions cannot be read
    kWhyNotThere,   // gone, or a file where a folder belongs (or the reverse)
};

// A held folder, by the name it was held by (held, it cannot be renamed
// away, so the name still leads to what is held).
Trust JudgeHeldFolder(const char* path, const HeldFolder& held, OthersMay others, NotOursWhy* why = nullptr);

// A file open as handle, by its name in a held folder: also a file with a
// second name (a hard link) is not ours to write.
Trust JudgeOpenFile(const char* path, HANDLE file, bool keepsSecurity, OthersMay others,
                    NotOursWhy* why = nullptr);

// The account that owned what was last judged kWhyOwner, as DOMAIN\name;
// false when the system cannot name it.
bool OwnerName(char* name, size_t size);

// True when path names a link (its own attributes and reparse tag say so):
// opening it would open whatever it leads to, and make that when it is
// missing.
bool NameIsLink(const char* path);

// Reparse tags of files that are plain files all the same: Single Instance
// Storage (RIS volumes) and the two of Remote Storage. Any other tag
// (junction, mount point, symbolic link, one not known) is a link.
bool ReparseTagIsPlain(DWORD tag);

// True when the package folder at path lets an account other than SYSTEM,
// Administrators and the running user write, create or delete there (or
// is owned by one, who may let itself). A volume that keeps no permissions
// (a CD, FAT), a network folder, and one whose security cannot be read are
// not said to be open: nothing can be told of them.
bool PackageFolderOpenToOthers(const char* path);

// Gives object (opened with WRITE_DAC) the DACL a folder made by the program
// gets: only its entries, protected from the parent's where Windows knows
// how. False when it cannot.
bool MakePrivate(HANDLE object, OthersMay others);

#endif

// The staging area: a fresh directory in the system drive root that
// receives a copy of the package.
#ifndef VORPKG_STAGING_STAGING_H
#define VORPKG_STAGING_STAGING_H

#include "common/limits.h"

// Name prefix for staging areas; the platform uses its first three letters.
extern const char kStagingPrefix[];

// Fills name (kPathSize characters) with a free name in driveRoot. Creates
// and deletes one empty file there; reports nothing.
void MakeStagingName(const char* driveRoot, char* name);

// Checks that the system drive holds packageDir with room to spare, creates
// stagingDir (kPathSize characters, ending in a backslash) open to SYSTEM
// and Administrators only, and copies packageDir into it. When the name is
// taken meanwhile, stagingDir is replaced by a new one. 0 on success, 1
// after printing why not. A package holding a link is not copied.
// The staging area is held open from its creation to the end of the process
// and must be the folder this run made: no link, empty, owned by this run's
// user, Administrators or SYSTEM and open to no one else.
int StagePackage(const char* driveRoot, const char* packageDir, char* stagingDir);

// For a package whose identity cannot be compared with the drive root's (no
// file index): whether it is the drive root under another name, told by a
// file made in the drive root showing in it. Nothing stays in the root.
enum RootCheck {
    kNotTheRoot,
    kTheRoot,
    kPackageTooLong,  // the probe's path would not fit: cannot tell
    kNoProbe,         // no file could be made in the root: said
};
RootCheck CheckNotDriveRoot(const char* driveRoot, const char* packageDir);

enum FolderMatch { kSameFolder, kOtherFolder, kIdentityUnknown };

// Whether two directories are one folder, by volume serial number and file
// index, whatever names they are reached by.
FolderMatch MatchFolders(const char* a, const char* b);

#endif

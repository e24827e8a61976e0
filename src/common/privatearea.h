// The security of a folder the program makes for itself: the staging area,
// which only SYSTEM and the Administrators group may use, and the result
// log's folder, which Users may also read. What is made inside inherits it.
#ifndef VORPKG_COMMON_PRIVATEAREA_H
#define VORPKG_COMMON_PRIVATEAREA_H

#include <windows.h>

// Each fills attributes with a descriptor whose DACL holds only its
// entries, inherited by files and folders, protected from the parent's
// entries where Windows knows how. The descriptor lives in static buffers
// (one at a time). False when it cannot be built.

// Full control for SYSTEM and BUILTIN\Administrators.
bool BuildPrivateAreaSecurity(SECURITY_ATTRIBUTES* attributes);

// The same, and read and list for BUILTIN\Users.
bool BuildLogFolderSecurity(SECURITY_ATTRIBUTES* attributes);

#endif

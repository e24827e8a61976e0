// The security of a new staging area: only SYSTEM and the Administrators
// group may use it, and everything copied into it inherits that.
#ifndef VORPKG_STAGING_PRIVATEAREA_H
#define VORPKG_STAGING_PRIVATEAREA_H

#include <windows.h>

// Fills attributes with a descriptor whose DACL grants full control to
// SYSTEM and to BUILTIN\Administrators only, inherited by files and
// folders, protected from the parent's entries where Windows knows how.
// The descriptor lives in static buffers. False when it cannot be built.
bool BuildPrivateAreaSecurity(SECURITY_ATTRIBUTES* attributes);

#endif

// Reading back who owns a folder vorpkg made and whom its DACL lets in, and
// making a junction for the package-link scenario.
#ifndef VORPKG_SELFTEST_SECURITY_H
#define VORPKG_SELFTEST_SECURITY_H

#include <windows.h>

#include <stddef.h>

enum FolderKind {
    kStagingArea,  // SYSTEM and Administrators full control
    kLogFolder,    // and Users read and list
};

// The self-test's own (not vorpkg's builder): SYSTEM and Administrators full
// control, and Users read and list when users, inherited inside, protected
// where the system can. In static storage: for one use at a time.
bool BuildFolderSecurity(bool users, SECURITY_ATTRIBUTES* attributes);

// How exactly this system keeps a folder's DACL: learnt from a folder the
// self-test makes with the log folder's DACL and reads back.
struct DaclFidelity {
    bool exact;          // read back as written
    char note[256];      // otherwise: the difference found
};
void LearnDaclFidelity(const char* probeFolder, DaclFidelity* fidelity);

// Checks the folder's owner and DACL as the README states them, exactly
// where the system keeps them (protected where wanted), otherwise that no
// other account is granted more than the kind allows. nullptr when it
// holds; else what differs, in why.
const char* CheckFolder(const char* path, FolderKind kind, bool wantProtected, bool exact, char* why,
                        size_t size);

// Makes link (a new empty folder) a junction to target (an absolute path).
// False with the Windows error in *error when the system cannot.
bool MakeJunction(const char* link, const char* target, DWORD* error);

#endif

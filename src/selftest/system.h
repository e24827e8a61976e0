// What the self-test needs to know of the system it runs on.
#ifndef VORPKG_SELFTEST_SYSTEM_H
#define VORPKG_SELFTEST_SYSTEM_H

#include "selftest/expect.h"

#include <windows.h>

struct SystemInfo {
    OSVERSIONINFOEXA version;  // the Ex part zero where the system gives none
    Procedure procedure;
    UINT codePage;             // ANSI
    char root[4];              // the system drive's root, "C:\"
    char windowsDir[MAX_PATH];  // from the system directory, without it
    char fileSystem[32];
    bool keepsSecurity;        // the system drive keeps owners and DACLs
    bool reparsePoints;        // and reparse points (junctions)
    bool wine;                 // Wine, whose known shortfalls are marked where checked
};

// False when the system directory or the version cannot be read.
bool ReadSystemInfo(SystemInfo* info);

// The running account is in BUILTIN\Administrators, enabled.
bool IsAdministrator();

#endif

// The few well-known accounts the program names in security descriptors and
// trusts as owners.
#ifndef VORPKG_COMMON_WELLKNOWNSID_H
#define VORPKG_COMMON_WELLKNOWNSID_H

#include <windows.h>

// Room for a well-known SID (at most two sub-authorities), in DWORDs so that
// a buffer of them is aligned.
const DWORD kWellKnownSidBytes = 16;

enum WellKnownSid {
    kSidSystem,          // S-1-5-18
    kSidAdministrators,  // S-1-5-32-544, BUILTIN\Administrators
    kSidUsers,           // S-1-5-32-545, BUILTIN\Users
};

// Fills sid (kWellKnownSidBytes bytes) with the account's SID. False when it
// cannot be made.
bool MakeWellKnownSid(WellKnownSid which, DWORD* sid);

#endif

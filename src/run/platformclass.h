// Which update procedure applies to the running system.
#ifndef VORPKG_RUN_PLATFORMCLASS_H
#define VORPKG_RUN_PLATFORMCLASS_H

enum PlatformClass {
    Nt4 = 0,
    Win2000 = 1,
    Server2003 = 2,
    Unsupported = 3,
    WinXp = 6,
};

// What the version query delivered; kept free of Windows types so the
// decision can be built and tested anywhere.
struct VersionFacts {
    bool queryOk;            // the second query succeeded
    bool extended;           // the 156-byte record was accepted
    unsigned long platformId;
    unsigned long major;
    unsigned long minor;
    unsigned char suiteLow;  // low byte of wSuiteMask
};

PlatformClass ClassifyVersionFacts(const VersionFacts& facts);

// Queries the system (through the OS-call table) and classifies it.
PlatformClass ClassifyPlatform();

#endif

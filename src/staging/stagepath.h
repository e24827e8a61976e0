// Path forming and checks for staging, free of any OS header so they can be
// built and exercised natively.
#ifndef VORPKG_STAGING_STAGEPATH_H
#define VORPKG_STAGING_STAGEPATH_H

#include "common/dbcs.h"

#include <stddef.h>
#include <stdint.h>

// Free space the system drive must keep once the package is staged.
const uint64_t kMinFreeBytes = 2000000;

// Free bytes from the three counts of a free-space query. The product
// saturates rather than wraps.
uint64_t FreeBytes(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters);

// True when the three counts of a free-space query make at least
// kMinFreeBytes.
bool EnoughFreeSpace(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters);

// What a file of size bytes takes on a volume with clusters of clusterBytes
// (0: unknown, taken as the size itself), added to total. Saturates.
uint64_t AddFileInClusters(uint64_t total, uint64_t size, uint64_t clusterBytes);

// True when freeBytes less packageBytes still leaves kMinFreeBytes.
bool RoomForPackage(uint64_t freeBytes, uint64_t packageBytes);

// buf = base + name + tail; false (buf left terminated) when it does not fit.
bool JoinPath(char* buf, size_t size, const char* base, const char* name, const char* tail);

// buf = base + name and one backslash. Only the top level (name empty) may
// end in one already (a drive root): read by character, so that the second
// byte of a double-byte character is no backslash. False when it does not fit.
bool SourceForm(char* buf, size_t size, const char* base, const char* name, LeadByteTest isLeadByte);

// "." and ".." exactly; every other name, dot-names included, is an entry.
bool IsDotOrDotDot(const char* name);

// Equal apart from the case of ASCII letters.
bool SamePathIgnoringCase(const char* a, const char* b);

// True when dir names the drive root root ("C:\"): any case, with or
// without its backslash.
bool IsDriveRoot(const char* dir, const char* root);

#endif

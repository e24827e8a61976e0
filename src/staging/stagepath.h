// Path forming and checks for staging, free of any OS header so they can be
// built and exercised natively.
#ifndef VORPKG_STAGING_STAGEPATH_H
#define VORPKG_STAGING_STAGEPATH_H

#include <stddef.h>
#include <stdint.h>

// Free space the system drive must have before anything is staged.
const uint64_t kMinFreeBytes = 2000000;

// True when the three counts of a free-space query make at least
// kMinFreeBytes. The product saturates rather than wraps.
bool EnoughFreeSpace(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters);

// buf = base + name + tail; false (buf left terminated) when it does not fit.
bool JoinPath(char* buf, size_t size, const char* base, const char* name, const char* tail);

// buf = base + name, then one backslash unless that already ends in one (a
// drive root). False when it does not fit.
bool SourceForm(char* buf, size_t size, const char* base, const char* name);

// "." and ".." exactly; every other name, dot-names included, is an entry.
bool IsDotOrDotDot(const char* name);

// Equal apart from the case of ASCII letters.
bool SamePathIgnoringCase(const char* a, const char* b);

#endif

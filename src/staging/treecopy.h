#ifndef VORPKG_STAGING_TREECOPY_H
#define VORPKG_STAGING_TREECOPY_H

#include <stdint.h>

// Copies everything inside source into the existing directory dest (which
// ends in a backslash), depth first. 0 on success, 1 after printing why not.
// A folder that cannot be listed to its end fails like a file that cannot
// be copied.
int TreeCopy(const char* source, const char* dest);

// Walks source as TreeCopy would copy it into dest and sets total to the
// bytes its files take in clusters of clusterBytes. False, silently, when a
// folder cannot be listed to its end.
bool TreeBytes(const char* source, const char* dest, uint64_t clusterBytes, uint64_t* total);

#endif

#ifndef VORPKG_STAGING_TREECOPY_H
#define VORPKG_STAGING_TREECOPY_H

// Copies everything inside source into the existing directory dest (which
// ends in a backslash), depth first. 0 on success, 1 after printing why not.
int TreeCopy(const char* source, const char* dest);

#endif

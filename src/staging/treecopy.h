#ifndef VORPKG_STAGING_TREECOPY_H
#define VORPKG_STAGING_TREECOPY_H

#include <windows.h>

#include <stdint.h>

// The gate's message, and the copy's when a grown package passes its budget.
extern const char kNoSpaceMessage[];

// Copies everything inside source into the existing directory dest (which
// ends in a backslash), depth first. 0 on success, 1 after printing why not.
// A folder that cannot be listed to its end fails like a file that cannot
// be copied, and so does a link (a junction or mount point leads anywhere).
// The copy counts as TreeBytes does and stops before its count passes
// budget (a package grown since it was measured).
int TreeCopy(const char* source, const char* dest, uint64_t clusterBytes = 0, uint64_t budget = UINT64_MAX);

enum TreeSize {
    kSized,
    kSizeUnknown,  // a folder could not be listed to its end; nothing said
    kSizeLink,     // an entry is a link: said, naming it
};

// Walks source as TreeCopy would copy it into dest and sets total to what
// it takes in clusters of clusterBytes: dest's own cluster, one for each
// sub-folder and its files' clusters. At the top of a drive root, a hidden
// system folder whose listing is refused counts as empty (and is copied so).
TreeSize TreeBytes(const char* source, const char* dest, uint64_t clusterBytes, uint64_t* total);

// One listing of a level, shared by the copy, the size walk and the
// staging area's emptiness check, so that all see the same entries and treat
// a listing that breaks off the same way. top: the package's own top level,
// where "no file found" is an empty drive root; protectedFolder: a refused
// listing counts as empty (a drive root's System Volume Information).
enum ListStep { kListEntry, kListEnd, kListError };
ListStep ListFirst(const char* pattern, bool top, bool protectedFolder, WIN32_FIND_DATAA* entry, HANDLE* listing);
ListStep ListNext(HANDLE listing, WIN32_FIND_DATAA* entry);

#endif

// Trees of real files for the staging tests, and a recorder of the tree
// copy's file-system calls.
#ifndef VORPKG_TESTS_TREEFS_H
#define VORPKG_TESTS_TREEFS_H

#include "osoverride.h"
#include "winfs.h"

#include <string>
#include <vector>

// Makes each entry below root: "a\" a folder, "a\f" a file holding "a\f".
void MakeTree(const std::string& root, const std::vector<std::string>& entries);
// ListTree with each file's bytes: "a\", "a\f=a\f".
std::vector<std::string> TreeWithContents(const std::string& root);
// Empties a folder (the update CD is shared by tests), "..." files included.
void EmptyDir(const std::string& dir);
// A file named "...": only a \\?\ path keeps the trailing dots.
void MakeDotsFile(const std::string& dir);
// Folder names in the system drive root that begin with QVT.
std::vector<std::string> StagingAreas();

// What the tree copy asked of the file system while the recorder lived.
// Every call is passed through to the entry that was in place before.
struct FsLog {
    std::vector<std::string> patterns;  // FindFirstFileA
    std::vector<std::string> copies;    // CopyFileA, "source>target"
    std::vector<std::string> madeDirs;  // CreateDirectoryA
    int listingsOpen = 0;               // handed out and not yet closed
    std::string failCopyOf;  // CopyFileA fails for a source ending in this
};

class FsRecorder {
public:
    FsRecorder();
    ~FsRecorder();
    FsLog& log;

private:
    OsOverride<decltype(OsCalls::FindFirstFileA)> first_;
    OsOverride<decltype(OsCalls::FindClose)> close_;
    OsOverride<decltype(OsCalls::CopyFileA)> copy_;
    OsOverride<decltype(OsCalls::CreateDirectoryA)> mkdir_;
};

#endif

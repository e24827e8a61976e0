// Files and folders of the self-test's own: its test packages and what it
// reads back. Paths are Windows ANSI paths in fixed buffers.
#ifndef VORPKG_SELFTEST_FILES_H
#define VORPKG_SELFTEST_FILES_H

#include <windows.h>

#include <stddef.h>
#include <string.h>

const size_t kPath = MAX_PATH;
const size_t kMaxNew = 8;  // staging areas one run may leave

// buf = a + b (+ c); false when it does not fit.
bool Join(char* buf, size_t size, const char* a, const char* b, const char* c = "");

bool WriteBytes(const char* path, const char* bytes, size_t size);
bool WriteText(const char* path, const char* text);
// Reads at most size - 1 bytes from offset into buf, terminated; the count
// read, or -1 when the file cannot be opened or holds more.
long ReadBytesAt(const char* path, long offset, char* buf, size_t size);
// The file begins with text.
bool FileStartsWith(const char* path, const char* text);
// Splits text at LF (a CR before it dropped) into at most max lines.
bool SplitLines(char* text, char** lines, size_t max, size_t* count);
// The file's size, or -1 when it is missing.
long FileSize(const char* path);

// Calls each(found) for the entries of folder that match pattern ("\\*"
// for all), "." and ".." left out, while it returns true; false when the
// folder cannot be listed (GetLastError says why).
template <typename Each>
bool ForEachEntry(const char* folder, const char* pattern, Each each) {
    char path[kPath];
    WIN32_FIND_DATAA found;
    HANDLE h = Join(path, sizeof path, folder, pattern) ? FindFirstFileA(path, &found) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) return false;
    bool going = true;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) going = each(found);
    } while (going && FindNextFileA(h, &found));
    FindClose(h);
    return true;
}

// Removes a file or a folder with everything in it. A link (junction) is
// removed as a name, never followed, at any level. False when something stays.
bool RemoveTree(const char* path);

// Every file under a (its sub-folders too) is in b with the same bytes, and
// b holds nothing more but the names in extra at its top. nullptr when so;
// else what differs, in why.
const char* CompareTree(const char* a, const char* b, const char* const* extra, size_t extraCount, char* why,
                        size_t size);

// The SHA-256 of the file's first size bytes, in hex; false when unreadable.
bool HashPrefix(const char* path, long size, char* hex);

// The local time now as a record stamps it: "MM-DD-YYYY hh:mm:ss".
void LocalStamp(char* stamp);

// The root's QVT* folders and files that are not in before (a list this
// made), each name after a line end, into names; false when they do not fit
// or the root cannot be listed.
bool ListQvt(const char* root, const char* before, char* names, size_t size);

#endif

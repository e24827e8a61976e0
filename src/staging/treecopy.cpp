#include "staging/treecopy.h"

#include "common/console.h"
#include "common/limits.h"
#include "os/oscalls.h"
#include "staging/stagepath.h"

#include <string.h>

namespace {

const char kFileCopyFailed[] = "Unable to copy files from QV CD to hard drive.";
const char kSubDirFailed[] = "Unable to create temporary sub-directory!";
const char kNestedFailed[] = "Unable to copy sub-directory update files to the hard drive.";

int Fail(const char* message) {
    ConsoleMessage(message);
    return 1;
}

// One listing of a level, shared by the copy and the size walk, so that both
// see the same entries and treat a listing that breaks off the same way.
enum ListStep { kListEntry, kListEnd, kListError };

// Only "no file found" is an empty listing (a drive root has no "." entry);
// anything else (a folder gone, access denied, a network or CD error) means
// the level cannot be seen and so cannot be copied whole.
ListStep ListFirst(const char* pattern, WIN32_FIND_DATAA* entry, HANDLE* listing) {
    memset(entry, 0, sizeof *entry);
    *listing = g_os.FindFirstFileA(pattern, entry);
    if (*listing != INVALID_HANDLE_VALUE) return kListEntry;
    return g_os.GetLastError() == ERROR_FILE_NOT_FOUND ? kListEnd : kListError;
}

// A listing ends only with "no more files"; any other reason breaks it off.
ListStep ListNext(HANDLE listing, WIN32_FIND_DATAA* entry) {
    if (g_os.FindNextFileA(listing, entry)) return kListEntry;
    return g_os.GetLastError() == ERROR_NO_MORE_FILES ? kListEnd : kListError;
}

// The walk's own destination, met inside its source (the package holding
// the staging area): entering it would never end.
bool IsWalkDestination(const char* sourceForm, const char* name, const char* topDest) {
    char nested[kPathSize];
    memset(nested, 0, sizeof nested);
    return SourceForm(nested, kPathSize, sourceForm, name) && SamePathIgnoringCase(nested, topDest);
}

// A level's source form (base + name and a backslash) and its search
// pattern, each in kPathSize characters. False when either does not fit.
bool LevelPaths(const char* base, const char* name, char* sourceForm, char* pattern) {
    memset(sourceForm, 0, kPathSize);
    memset(pattern, 0, kPathSize);
    return SourceForm(sourceForm, kPathSize, base, name) && JoinPath(pattern, kPathSize, sourceForm, "*.*", "");
}

int CopyLevel(const char* base, const char* name, const char* dest, const char* topDest);

int CopyOneFile(const char* sourceForm, const char* dest, const char* name) {
    char source[kPathSize];
    char target[kPathSize];
    memset(source, 0, sizeof source);
    memset(target, 0, sizeof target);
    if (!JoinPath(source, kPathSize, sourceForm, name, "") || !JoinPath(target, kPathSize, dest, name, ""))
        return Fail(kFileCopyFailed);
    if (!g_os.CopyFileA(source, target, FALSE)) return Fail(kFileCopyFailed);
    g_os.SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);  // a failure here does not stop the copy
    return 0;
}

int CopyOneSubDirectory(const char* sourceForm, const char* dest, const char* topDest, const char* name) {
    if (IsWalkDestination(sourceForm, name, topDest)) return 0;

    char target[kPathSize];
    memset(target, 0, sizeof target);
    if (!JoinPath(target, kPathSize, dest, name, "\\")) return Fail(kSubDirFailed);
    if (!g_os.CreateDirectoryA(target, NULL)) return Fail(kSubDirFailed);
    if (CopyLevel(sourceForm, name, target, topDest) != 0) return Fail(kNestedFailed);
    return 0;
}

// One directory: base + name is its source path (name is empty at the top).
int CopyLevel(const char* base, const char* name, const char* dest, const char* topDest) {
    char sourceForm[kPathSize];
    char pattern[kPathSize];
    if (!LevelPaths(base, name, sourceForm, pattern))
        return Fail(kFileCopyFailed);

    WIN32_FIND_DATAA entry;
    HANDLE listing = INVALID_HANDLE_VALUE;
    ListStep step = ListFirst(pattern, &entry, &listing);
    if (step == kListEnd) return 0;  // nothing in it
    if (step == kListError) return Fail(kFileCopyFailed);

    int result = 0;
    while (result == 0 && step == kListEntry) {
        if (!IsDotOrDotDot(entry.cFileName)) {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                result = CopyOneSubDirectory(sourceForm, dest, topDest, entry.cFileName);
            else
                result = CopyOneFile(sourceForm, dest, entry.cFileName);
        }
        if (result == 0) step = ListNext(listing, &entry);
    }
    if (result == 0 && step == kListError) result = Fail(kFileCopyFailed);
    g_os.FindClose(listing);
    return result;
}

// The size walk: the same levels and entries as the copy. A path too long
// to copy is not counted: the copy stops there with its own message.
bool SizeLevel(const char* base, const char* name, const char* topDest, uint64_t clusterBytes, uint64_t* total) {
    char sourceForm[kPathSize];
    char pattern[kPathSize];
    if (!LevelPaths(base, name, sourceForm, pattern))
        return true;

    WIN32_FIND_DATAA entry;
    HANDLE listing = INVALID_HANDLE_VALUE;
    ListStep step = ListFirst(pattern, &entry, &listing);
    if (step != kListEntry) return step == kListEnd;

    bool ok = true;
    while (ok && step == kListEntry) {
        if (IsDotOrDotDot(entry.cFileName)) {
            // passed over, as in the copy
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsWalkDestination(sourceForm, entry.cFileName, topDest))
                ok = SizeLevel(sourceForm, entry.cFileName, topDest, clusterBytes, total);
        } else {
            uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            *total = AddFileInClusters(*total, size, clusterBytes);
        }
        if (ok) step = ListNext(listing, &entry);
    }
    g_os.FindClose(listing);
    return ok && step != kListError;
}

}  // namespace

int TreeCopy(const char* source, const char* dest) { return CopyLevel(source, "", dest, dest); }

bool TreeBytes(const char* source, const char* dest, uint64_t clusterBytes, uint64_t* total) {
    *total = 0;
    return SizeLevel(source, "", dest, clusterBytes, total);
}

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
    // The walk's own destination, met inside its source (the package being
    // the drive root that holds the staging area): copying it would never end.
    char nested[kPathSize];
    memset(nested, 0, sizeof nested);
    if (SourceForm(nested, kPathSize, sourceForm, name) && SamePathIgnoringCase(nested, topDest)) return 0;

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
    memset(sourceForm, 0, sizeof sourceForm);
    memset(pattern, 0, sizeof pattern);
    if (!SourceForm(sourceForm, kPathSize, base, name) || !JoinPath(pattern, kPathSize, sourceForm, "*.*", ""))
        return Fail(kFileCopyFailed);

    WIN32_FIND_DATAA entry;
    memset(&entry, 0, sizeof entry);
    HANDLE listing = g_os.FindFirstFileA(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE) return 0;  // nothing to list counts as copied

    int result = 0;
    do {
        if (IsDotOrDotDot(entry.cFileName)) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            result = CopyOneSubDirectory(sourceForm, dest, topDest, entry.cFileName);
        else
            result = CopyOneFile(sourceForm, dest, entry.cFileName);
    } while (result == 0 && g_os.FindNextFileA(listing, &entry));
    g_os.FindClose(listing);
    return result;
}

}  // namespace

int TreeCopy(const char* source, const char* dest) { return CopyLevel(source, "", dest, dest); }

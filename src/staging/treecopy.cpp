#include "staging/treecopy.h"

#include "common/console.h"
#include "common/limits.h"
#include "common/trustedfolder.h"
#include "os/oscalls.h"
#include "staging/stagepath.h"

#include <string.h>

const char kNoSpaceMessage[] = "Not enough disk space to copy necessary files.";

namespace {

const char kFileCopyFailed[] = "Unable to copy files from QV CD to hard drive.";
const char kSubDirFailed[] = "Unable to create temporary sub-directory!";
const char kNestedFailed[] = "Unable to copy sub-directory update files to the hard drive.";

// What one walk shares across its levels. The copy and the size walk count
// alike: each folder one cluster, each file its clusters.
struct Walk {
    const char* topDest;
    uint64_t clusterBytes;
    uint64_t budget;  // the copy stops before its count passes this
    uint64_t used;
};

// Counts a folder or a file of size bytes; false when the budget is passed.
bool Spend(Walk* walk, uint64_t size, bool folder) {
    walk->used = AddFileInClusters(walk->used, folder ? walk->clusterBytes : size, walk->clusterBytes);
    return walk->used <= walk->budget;
}

// A folder at the top of a drive root with the hidden and system attributes
// (System Volume Information, recycle bins): a listing refused for it counts
// as empty, as it always did.
bool ProtectedVolumeFolder(const char* sourceForm, const char* name, DWORD attributes) {
    const DWORD both = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return name[0] != '\0' && (attributes & both) == both && sourceForm[0] != '\0' && sourceForm[1] == ':' &&
           sourceForm[2] == '\\' && sourceForm[3] == '\0';
}

int Fail(const char* message) {
    ConsoleMessage(message);
    return 1;
}

// A junction, mount point or symbolic link, folder or file: it may lead to
// the system drive, into a loop or to files that were never the package's.
// A file whose tag is a plain file's (Single Instance Storage, Remote
// Storage) is copied as any other. Said with its path; false when it is one.
bool NoLink(const char* sourceForm, const WIN32_FIND_DATAA& entry) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && ReparseTagIsPlain(entry.dwReserved0)) return true;
    char path[kPathSize];
    memset(path, 0, sizeof path);
    JoinPath(path, kPathSize, sourceForm, entry.cFileName, "");  // cut short, it still names the place
    ConsoleMessage2("Package holds a link: ", path);
    return false;
}

// The walk's own destination, met inside its source (the package holding
// the staging area): entering it would never end.
bool IsWalkDestination(const char* sourceForm, const char* name, const char* topDest) {
    char nested[kPathSize];
    memset(nested, 0, sizeof nested);
    return SourceForm(nested, kPathSize, sourceForm, name, AnsiLeadByte) && SamePathIgnoringCase(nested, topDest);
}

// A level's source form (base + name and a backslash) and its search
// pattern, each in kPathSize characters. False when either does not fit.
bool LevelPaths(const char* base, const char* name, char* sourceForm, char* pattern) {
    memset(sourceForm, 0, kPathSize);
    memset(pattern, 0, kPathSize);
    return SourceForm(sourceForm, kPathSize, base, name, AnsiLeadByte) &&
           JoinPath(pattern, kPathSize, sourceForm, "*.*", "");
}

int CopyLevel(const char* base, const char* name, bool protectedFolder, const char* dest, Walk* walk);

int CopyOneFile(const char* sourceForm, const char* dest, const WIN32_FIND_DATAA& entry, Walk* walk) {
    const char* name = entry.cFileName;
    uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    if (!Spend(walk, size, false)) return Fail(kNoSpaceMessage);
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

int CopyOneSubDirectory(const char* sourceForm, const char* dest, const WIN32_FIND_DATAA& entry, Walk* walk) {
    const char* name = entry.cFileName;
    if (IsWalkDestination(sourceForm, name, walk->topDest)) return 0;
    if (!Spend(walk, 0, true)) return Fail(kNoSpaceMessage);

    char target[kPathSize];
    memset(target, 0, sizeof target);
    if (!JoinPath(target, kPathSize, dest, name, "\\")) return Fail(kSubDirFailed);
    if (!g_os.CreateDirectoryA(target, NULL)) return Fail(kSubDirFailed);
    bool isProtected = ProtectedVolumeFolder(sourceForm, name, entry.dwFileAttributes);
    if (CopyLevel(sourceForm, name, isProtected, target, walk) != 0) return Fail(kNestedFailed);
    return 0;
}

// One directory: base + name is its source path (name is empty at the top).
int CopyLevel(const char* base, const char* name, bool protectedFolder, const char* dest, Walk* walk) {
    char sourceForm[kPathSize];
    char pattern[kPathSize];
    if (!LevelPaths(base, name, sourceForm, pattern))
        return Fail(kFileCopyFailed);

    WIN32_FIND_DATAA entry;
    HANDLE listing = INVALID_HANDLE_VALUE;
    ListStep step = ListFirst(pattern, name[0] == '\0', protectedFolder, &entry, &listing);
    if (step == kListEnd) return 0;  // nothing in it
    if (step == kListError) return Fail(kFileCopyFailed);

    int result = 0;
    while (result == 0 && step == kListEntry) {
        if (!IsDotOrDotDot(entry.cFileName)) {
            if (!NoLink(sourceForm, entry))
                result = 1;
            else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                result = CopyOneSubDirectory(sourceForm, dest, entry, walk);
            else
                result = CopyOneFile(sourceForm, dest, entry, walk);
        }
        if (result == 0) step = ListNext(listing, &entry);
    }
    if (result == 0 && step == kListError) result = Fail(kFileCopyFailed);
    g_os.FindClose(listing);
    return result;
}

// The size walk: the same levels and entries as the copy. A path too long
// to copy is not counted: the copy stops there with its own message.
TreeSize SizeLevel(const char* base, const char* name, bool protectedFolder, Walk* walk) {
    char sourceForm[kPathSize];
    char pattern[kPathSize];
    if (!LevelPaths(base, name, sourceForm, pattern))
        return kSized;

    WIN32_FIND_DATAA entry;
    HANDLE listing = INVALID_HANDLE_VALUE;
    ListStep step = ListFirst(pattern, name[0] == '\0', protectedFolder, &entry, &listing);
    if (step != kListEntry) return step == kListEnd ? kSized : kSizeUnknown;

    TreeSize result = kSized;
    while (result == kSized && step == kListEntry) {
        if (IsDotOrDotDot(entry.cFileName)) {
            // passed over, as in the copy
        } else if (!NoLink(sourceForm, entry)) {
            result = kSizeLink;
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsWalkDestination(sourceForm, entry.cFileName, walk->topDest)) {
                Spend(walk, 0, true);
                bool isProtected = ProtectedVolumeFolder(sourceForm, entry.cFileName, entry.dwFileAttributes);
                result = SizeLevel(sourceForm, entry.cFileName, isProtected, walk);
            }
        } else {
            uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            Spend(walk, size, false);
        }
        if (result == kSized) step = ListNext(listing, &entry);
    }
    g_os.FindClose(listing);
    return result == kSized && step == kListError ? kSizeUnknown : result;
}

}  // namespace

// Both walks count the destination folder's own cluster first: the staging
// area takes one too.
int TreeCopy(const char* source, const char* dest, uint64_t clusterBytes, uint64_t budget) {
    Walk walk = {dest, clusterBytes, budget, 0};
    if (!Spend(&walk, 0, true)) return Fail(kNoSpaceMessage);
    return CopyLevel(source, "", false, dest, &walk);
}

TreeSize TreeBytes(const char* source, const char* dest, uint64_t clusterBytes, uint64_t* total) {
    Walk walk = {dest, clusterBytes, UINT64_MAX, 0};
    Spend(&walk, 0, true);
    TreeSize result = SizeLevel(source, "", false, &walk);
    *total = walk.used;
    return result;
}

// Only "no file found" is an empty listing (a drive root has no "." entry);
// anything else (a folder gone, access denied, a network or CD error) means
// the level cannot be seen and so cannot be copied whole.
// Only "no file found" at the top is an empty listing (a drive root has no
// "." entry; every folder below one lists its own, so there it means the
// folder went or cannot be seen); anything else (a folder gone, access
// denied, a network or CD error) means the level cannot be seen and so
// cannot be copied whole.
ListStep ListFirst(const char* pattern, bool top, bool protectedFolder, WIN32_FIND_DATAA* entry, HANDLE* listing) {
    memset(entry, 0, sizeof *entry);
    *listing = g_os.FindFirstFileA(pattern, entry);
    if (*listing != INVALID_HANDLE_VALUE) return kListEntry;
    DWORD error = g_os.GetLastError();
    if ((top && error == ERROR_FILE_NOT_FOUND) || (protectedFolder && error == ERROR_ACCESS_DENIED)) return kListEnd;
    return kListError;
}

// A listing ends only with "no more files"; any other reason breaks it off.
ListStep ListNext(HANDLE listing, WIN32_FIND_DATAA* entry) {
    if (g_os.FindNextFileA(listing, entry)) return kListEntry;
    return g_os.GetLastError() == ERROR_NO_MORE_FILES ? kListEnd : kListError;
}

#include "staging/staging.h"

#include "common/console.h"
#include "common/heldfolder.h"
#include "common/privatearea.h"
#include "common/strbuf.h"
#include "common/trustedfolder.h"
#include "os/oscalls.h"
#include "staging/stagepath.h"
#include "staging/treecopy.h"

#include <string.h>

const char kStagingPrefix[] = "QVTEMP\\";

// Names tried in all when the one made first is taken.
const int kStagingNameTries = 10;

void MakeStagingName(const char* driveRoot, char* name) {
    memset(name, 0, kPathSize);
    g_os.GetTempFileNameA(driveRoot, kStagingPrefix, 0, name);
    g_os.DeleteFileA(name);
}

namespace {

const char kNoSpaceCheck[] = "Unable to determine if enough free space to copy files.";
const char kNoDirectory[] = "Unable to create temporary directory!";
const char kNotSecured[] = "Unable to secure the temporary directory.";

// The staging area, held until the process ends: nobody may rename it or
// put another folder in its place while the utility runs from it.
HeldFolder g_stagingHeld = {INVALID_HANDLE_VALUE, true, kHandleUnknown};

int Fail(const char* message) {
    ConsoleMessage(message);
    return 1;
}

// Creates the staging directory. Another run may take the free name before
// us: then a new one is made the same way, up to kStagingNameTries names.
int CreateStagingDirectory(const char* driveRoot, char* stagingDir, SECURITY_ATTRIBUTES* security) {
    for (int tries = 1;; ++tries) {
        if (g_os.CreateDirectoryA(stagingDir, security)) return 0;
        if (g_os.GetLastError() != ERROR_ALREADY_EXISTS || tries == kStagingNameTries) return Fail(kNoDirectory);
        MakeStagingName(driveRoot, stagingDir);
        if (!StrAppend(stagingDir, kPathSize, "\\")) return Fail(kNoDirectory);
    }
}

// Nothing in the folder (dir ends in a backslash). A listing that cannot be
// read to its end counts as not empty. The pattern may pass the longest
// name: the system then refuses it, and the folder is not used.
bool IsEmptyFolder(const char* dir) {
    char pattern[kPathSize + 4];
    memset(pattern, 0, sizeof pattern);
    if (!JoinPath(pattern, sizeof pattern, dir, "*.*", "")) return false;
    WIN32_FIND_DATAA entry;
    HANDLE listing = INVALID_HANDLE_VALUE;
    // The tree copy's listing: the same rule of "empty" and of "end", the
    // area being the top of its own listing (held: it cannot go meanwhile).
    ListStep step = ListFirst(pattern, true, false, &entry, &listing);
    if (step != kListEntry) return step == kListEnd;
    while (step == kListEntry && IsDotOrDotDot(entry.cFileName)) step = ListNext(listing, &entry);
    g_os.FindClose(listing);
    return step == kListEnd;
}

// Holds the new staging area and checks it is the folder this run made: an
// older staging area (same owner, same DACL) or a link put in its place
// between the creation and the hold would be merged into or lead elsewhere.
int HoldStagingArea(const char* stagingDir) {
    if (!HoldFolder(stagingDir, 0, &g_stagingHeld)) return Fail(kNotSecured);
    if (JudgeHeldFolder(stagingDir, g_stagingHeld, kOthersNothing) != kTrusted || !IsEmptyFolder(stagingDir))
        return Fail(kNotSecured);
    return 0;
}

}  // namespace

FolderMatch MatchFolders(const char* a, const char* b) {
    HeldFolder ha = {INVALID_HANDLE_VALUE, true, kHandleUnknown};
    HeldFolder hb = {INVALID_HANDLE_VALUE, true, kHandleUnknown};
    FolderId ia, ib;
    FolderMatch match = kIdentityUnknown;
    if (HoldFolder(a, 0, &ha, true) && HoldFolder(b, 0, &hb, true) && HeldFolderId(ha.handle, &ia) &&
        HeldFolderId(hb.handle, &ib))
        match = SameFolderId(ia, ib) ? kSameFolder : kOtherFolder;
    LetGo(&ha);
    LetGo(&hb);
    return match;
}

RootCheck CheckNotDriveRoot(const char* driveRoot, const char* packageDir) {
    // A new empty file in the drive root, made with the staging name's
    // prefix: a name nothing else in the root has.
    char made[kPathSize];
    memset(made, 0, sizeof made);
    if (g_os.GetTempFileNameA(driveRoot, kStagingPrefix, 0, made) == 0) {
        ConsoleMessage(kNoDirectory);
        return kNoProbe;
    }
    // The package form read by character: a name ending in a double-byte
    // character whose second byte is 0x5C gets its backslash all the same.
    char probe[kPathSize];
    memset(probe, 0, sizeof probe);
    const size_t rootLength = strlen(driveRoot);
    bool formed = strncmp(made, driveRoot, rootLength) == 0 &&
                  SourceForm(probe, kPathSize, packageDir, "", AnsiLeadByte) &&
                  StrAppend(probe, kPathSize, made + rootLength);
    bool found = false;
    if (formed) {
        WIN32_FIND_DATAA entry;
        memset(&entry, 0, sizeof entry);
        HANDLE listing = g_os.FindFirstFileA(probe, &entry);
        found = listing != INVALID_HANDLE_VALUE;
        if (found) g_os.FindClose(listing);
    }
    g_os.DeleteFileA(made);
    if (!formed) return kPackageTooLong;
    return found ? kTheRoot : kNotTheRoot;
}

int StagePackage(const char* driveRoot, const char* packageDir, char* stagingDir) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!g_os.GetDiskFreeSpaceA(driveRoot, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return Fail(kNoSpaceCheck);
    // The package must fit and still leave the margin: each file takes whole
    // clusters of the system drive, each folder one, the staging area too.
    uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    uint64_t packageBytes = 0;
    switch (TreeBytes(packageDir, stagingDir, clusterBytes, &packageBytes)) {
    case kSized:
        break;
    case kSizeUnknown:
        return Fail(kNoSpaceCheck);
    case kSizeLink:
        return 1;  // said
    }
    uint64_t freeBytes = FreeBytes(sectorsPerCluster, bytesPerSector, freeClusters);
    if (!RoomForPackage(freeBytes, packageBytes)) return Fail(kNoSpaceMessage);
    // The utility runs from here as an administrator: nobody else may write
    // to it. Never stage into a folder open to all.
    SECURITY_ATTRIBUTES security;
    if (!BuildPrivateAreaSecurity(&security)) return Fail("Unable to make the temporary directory private.");
    if (CreateStagingDirectory(driveRoot, stagingDir, &security) != 0) return 1;
    if (HoldStagingArea(stagingDir) != 0) return 1;
    // The copy keeps to what the gate found free less the margin, whatever
    // the package has grown to since.
    if (TreeCopy(packageDir, stagingDir, clusterBytes, freeBytes - kMinFreeBytes) != 0)
        return Fail("Unable to copy update files to the hard drive.");
    return 0;
}

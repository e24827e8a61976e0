#include "staging/staging.h"

#include "common/console.h"
#include "common/heldfolder.h"
#include "common/strbuf.h"
#include "os/oscalls.h"
#include "staging/privatearea.h"
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
HANDLE g_stagingHeld = INVALID_HANDLE_VALUE;

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

// Holds the new staging area and checks it is the folder this run made.
int HoldStagingArea(const char* stagingDir) {
    g_stagingHeld = HoldFolder(stagingDir);
    if (g_stagingHeld == INVALID_HANDLE_VALUE) return Fail(kNotSecured);
    if (!HeldFolderOwnerTrusted(g_stagingHeld) || !HeldFolderPrivate(g_stagingHeld)) return Fail(kNotSecured);
    return 0;
}

// Without identities: the package is the drive root under another name when
// it holds an entry of the staging area's own name. The staging area is then
// let go and removed, empty as it still is.
bool PackageHoldsStagingArea(const char* driveRoot, const char* packageDir, const char* stagingDir) {
    char probe[kPathSize];
    memset(probe, 0, sizeof probe);
    // stagingDir is driveRoot + name + backslash: the name alone, without it.
    const char* name = stagingDir + strlen(driveRoot);
    if (!SourceForm(probe, kPathSize, packageDir, "", nullptr) || !StrAppend(probe, kPathSize, name)) return false;
    size_t len = strlen(probe);
    if (len > 0) *(probe + len - 1) = '\0';  // the backslash appended to the name, a single byte
    WIN32_FIND_DATAA entry;
    memset(&entry, 0, sizeof entry);
    HANDLE found = g_os.FindFirstFileA(probe, &entry);
    if (found == INVALID_HANDLE_VALUE) return false;
    g_os.FindClose(found);
    return true;
}

}  // namespace

FolderMatch MatchFolders(const char* a, const char* b) {
    HANDLE ha = HoldFolder(a);
    HANDLE hb = HoldFolder(b);
    FolderId ia, ib;
    FolderMatch match = kIdentityUnknown;
    if (ha != INVALID_HANDLE_VALUE && hb != INVALID_HANDLE_VALUE && HeldFolderId(ha, &ia) && HeldFolderId(hb, &ib))
        match = SameFolderId(ia, ib) ? kSameFolder : kOtherFolder;
    if (ha != INVALID_HANDLE_VALUE) g_os.CloseHandle(ha);
    if (hb != INVALID_HANDLE_VALUE) g_os.CloseHandle(hb);
    return match;
}

int StagePackage(const char* driveRoot, const char* packageDir, char* stagingDir, bool checkNested) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!g_os.GetDiskFreeSpaceA(driveRoot, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return Fail(kNoSpaceCheck);
    // The package must fit and still leave the margin: each file takes whole
    // clusters of the system drive.
    uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    uint64_t packageBytes = 0;
    if (!TreeBytes(packageDir, stagingDir, clusterBytes, &packageBytes)) return Fail(kNoSpaceCheck);
    uint64_t freeBytes = FreeBytes(sectorsPerCluster, bytesPerSector, freeClusters);
    if (!RoomForPackage(freeBytes, packageBytes)) return Fail(kNoSpaceMessage);
    // The utility runs from here as an administrator: nobody else may write
    // to it. Never stage into a folder open to all.
    SECURITY_ATTRIBUTES security;
    if (!BuildPrivateAreaSecurity(&security)) return Fail("Unable to make the temporary directory private.");
    if (CreateStagingDirectory(driveRoot, stagingDir, &security) != 0) return 1;
    if (HoldStagingArea(stagingDir) != 0) return 1;
    if (checkNested && PackageHoldsStagingArea(driveRoot, packageDir, stagingDir)) {
        g_os.CloseHandle(g_stagingHeld);
        g_stagingHeld = INVALID_HANDLE_VALUE;
        g_os.RemoveDirectoryA(stagingDir);
        return kStagedRoot;
    }
    // The copy keeps to what the gate found free less the margin, whatever
    // the package has grown to since.
    if (TreeCopy(packageDir, stagingDir, clusterBytes, freeBytes - kMinFreeBytes) != 0)
        return Fail("Unable to copy update files to the hard drive.");
    return 0;
}

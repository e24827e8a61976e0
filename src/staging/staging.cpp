#include "staging/staging.h"

#include "common/console.h"
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

}  // namespace

int StagePackage(const char* driveRoot, const char* packageDir, char* stagingDir) {
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
    if (!RoomForPackage(FreeBytes(sectorsPerCluster, bytesPerSector, freeClusters), packageBytes))
        return Fail("Not enough disk space to copy necessary files.");
    // The utility runs from here as an administrator: nobody else may write
    // to it. Never stage into a folder open to all.
    SECURITY_ATTRIBUTES security;
    if (!BuildPrivateAreaSecurity(&security)) return Fail("Unable to make the temporary directory private.");
    if (CreateStagingDirectory(driveRoot, stagingDir, &security) != 0) return 1;
    if (TreeCopy(packageDir, stagingDir) != 0) return Fail("Unable to copy update files to the hard drive.");
    return 0;
}

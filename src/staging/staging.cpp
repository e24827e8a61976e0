#include "staging/staging.h"

#include "common/console.h"
#include "os/oscalls.h"
#include "staging/stagepath.h"
#include "staging/treecopy.h"

#include <string.h>

const char kStagingPrefix[] = "QVTEMP\\";

void MakeStagingName(const char* driveRoot, char* name) {
    memset(name, 0, kPathSize);
    g_os.GetTempFileNameA(driveRoot, kStagingPrefix, 0, name);
    g_os.DeleteFileA(name);
}

namespace {

int Fail(const char* message) {
    ConsoleMessage(message);
    return 1;
}

}  // namespace

int StagePackage(const char* driveRoot, const char* packageDir, const char* stagingDir) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!g_os.GetDiskFreeSpaceA(driveRoot, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return Fail("Unable to determine if enough free space to copy files.");
    if (!EnoughFreeSpace(sectorsPerCluster, bytesPerSector, freeClusters))
        return Fail("Not enough disk space to copy necessary files.");
    if (!g_os.CreateDirectoryA(stagingDir, NULL)) return Fail("Unable to create temporary directory!");
    if (TreeCopy(packageDir, stagingDir) != 0) return Fail("Unable to copy update files to the hard drive.");
    return 0;
}

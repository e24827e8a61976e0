#include "staging/staging.h"

#include "os/oscalls.h"

#include <string.h>

const char kStagingPrefix[] = "QVTEMP\\";

void MakeStagingName(const char* driveRoot, char* name) {
    memset(name, 0, kPathSize);
    g_os.GetTempFileNameA(driveRoot, kStagingPrefix, 0, name);
    g_os.DeleteFileA(name);
}

int StagePackage(const char*, const char*, const char*) {
    return 1;  // staging is not built yet
}

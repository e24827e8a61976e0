#include "run/updaterun.h"

#include "common/console.h"
#include "common/limits.h"
#include "common/strbuf.h"
#include "common/trustedfolder.h"
#include "os/oscalls.h"
#include "resultlog/qvlogger.h"
#include "run/platformclass.h"
#include "run/usage.h"
#include "staging/stagepath.h"
#include "staging/staging.h"
#include "update/procedures.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kStagingFailed[] = "Copying update files to the hard drive failed.";

// "/?" or "-?" alone asks for the usage and nothing else.
bool AsksForUsage(int argc, char** argv) {
    return argc == 2 && (strcmp(argv[1], "/?") == 0 || strcmp(argv[1], "-?") == 0);
}

// The run's buffers live until the process ends.
char g_workDir[kDirSize];
char g_startDir[kDirSize];
char g_sysDir[kSysDirSize];
char g_driveRoot[kDriveRootSize];
char g_stagingName[kPathSize];

// A size reply from GetCurrentDirectoryA is good only when it is nonzero
// and smaller than the buffer; otherwise nothing usable was written.
bool CurrentDirectoryInto(char* buf, DWORD size) {
    DWORD n = g_os.GetCurrentDirectoryA(size, buf);
    return n != 0 && n < size;
}

// Others who may write in the package folder can put a DLL beside the
// utility or rewrite its log: vorpkg cannot stop that, the administrator is
// told before anything runs.
void SayIfOpenToOthers(const char* dir) {
    if (PackageFolderOpenToOthers(dir)) ConsoleMessage2("Package folder is open to other accounts: ", dir);
}

int StagedFailure() {
    ConsoleMessage(kStagingFailed);
    return 1;
}

int RootRefused(const char* arg) {
    ConsoleMessage2("Package directory is the system drive root: ", arg);
    return StagedFailure();
}

// Turns the argument into an absolute package directory in g_workDir and
// stages it. Returns 0 when the staging area is ready.
int PrepareStaged(const char* arg, bool nameFits) {
    // An argument that is no usable directory would leave us in the start
    // directory and stage that instead: refuse it.
    if (!g_os.SetCurrentDirectoryA(arg)) {
        ConsoleMessage2("Unable to use package directory: ", arg);
        return StagedFailure();
    }
    bool gotPackage = CurrentDirectoryInto(g_workDir, kDirSize);
    g_os.SetCurrentDirectoryA(g_startDir);
    if (!gotPackage) {
        ConsoleMessage2("Package directory path is too long: ", arg);
        return StagedFailure();
    }
    // A system directory too long for its buffer leaves no drive root, and
    // with it no known place to stage to.
    if (g_driveRoot[0] == '\0') {
        ConsoleMessage("Unable to determine the system drive.");
        return StagedFailure();
    }
    // The drive root holds the staging area and everything else: copying it
    // would fill the system drive. Under another name (subst, a share, a
    // junction) it is the same folder by identity.
    FolderMatch match = MatchFolders(g_workDir, g_driveRoot);
    if (IsDriveRoot(g_workDir, g_driveRoot) || match == kSameFolder) return RootRefused(arg);
    // Without identities (a FAT root, some network file systems) the root
    // is told by name, before anything of it is walked.
    if (match == kIdentityUnknown) {
        switch (CheckNotDriveRoot(g_driveRoot, g_workDir)) {
        case kNotTheRoot:
            break;
        case kTheRoot:
            return RootRefused(arg);
        case kPackageTooLong:
            ConsoleMessage2("Package directory path is too long: ", arg);
            return StagedFailure();
        case kNoProbe:
            return StagedFailure();
        }
    }
    if (!nameFits) {
        ConsoleMessage2("Staging directory name is too long: ", g_stagingName);
        return StagedFailure();
    }
    SayIfOpenToOthers(g_workDir);
    if (StagePackage(g_driveRoot, g_workDir, g_stagingName) != 0) return StagedFailure();
    StrCopy(g_workDir, kDirSize, g_stagingName);  // fits: kPathSize < kDirSize
    return 0;
}

}  // namespace

int UpdateRun(int argc, char** argv) {
    // Before anything else: a request for the usage touches no disk, not
    // even through the staging name.
    if (AsksForUsage(argc, argv)) {
        (void)fputs(kUsage, stdout);
        (void)fflush(stdout);
        return 1;
    }

    memset(g_workDir, 0, sizeof g_workDir);
    memset(g_startDir, 0, sizeof g_startDir);
    memset(g_sysDir, 0, sizeof g_sysDir);
    memset(g_driveRoot, 0, sizeof g_driveRoot);

    g_os.GetSystemDirectoryA(g_sysDir, kSysDirSize);
    memcpy(g_driveRoot, g_sysDir, kDriveRootSize - 1);

    // Every run makes (and frees) a staging name, staged or not.
    MakeStagingName(g_driveRoot, g_stagingName);
    bool nameFits = StrAppend(g_stagingName, kPathSize, "\\");

    int result = 9;
    bool staged = false;

    if (!CurrentDirectoryInto(g_startDir, kDirSize)) {
        ConsoleMessage("Unable to determine current directory.  Aborting update!");
        qvLogger(1);
        return 1;
    }

    if (argc == 2) {
        staged = true;
        if (PrepareStaged(argv[1], nameFits) != 0) return 1;
    } else {
        // In place: the start directory plus one backslash, even after a
        // drive root's own.
        if (!StrCopy(g_workDir, kDirSize, g_startDir) || !StrAppend(g_workDir, kDirSize, "\\")) {
            ConsoleMessage("Start directory path is too long.  Aborting update!");
            qvLogger(1);
            return 1;
        }
        SayIfOpenToOthers(g_startDir);
    }

    // cmd finds mervane.exe in the current directory: with the work
    // directory not current it would run the start directory's, or one found
    // along PATH.
    bool inWorkDir = g_os.SetCurrentDirectoryA(g_workDir) != FALSE;
    if (!inWorkDir) {
        ConsoleMessage2("Unable to make the update directory current: ", g_workDir);
        result = 1;
    }

    switch (inWorkDir ? ClassifyPlatform() : Unsupported) {
    case Nt4:
        result = UpdateWinNT(g_workDir);
        break;
    case Win2000:
    case Server2003:
        result = UpdateWin2k(g_workDir);
        break;
    default:
        break;  // unsupported (or refused above): nothing runs, result stays
    }

    if (!staged && qvLogger(result) == kVersionUnreadable) result = 1;

    g_os.SetCurrentDirectoryA(g_startDir);
    printf("Return Code from vorpkg is %d\n", result);
    (void)fflush(stdout);
    return result;
}

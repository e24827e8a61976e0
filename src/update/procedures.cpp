#include "update/procedures.h"

#include "common/console.h"
#include "common/limits.h"
#include "update/cmdline.h"
#include "update/logscan.h"
#include "update/runner.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kDirTooLong[] = "Update directory path is too long: ";
const char kDirUnusable[] = "Update directory name cannot be passed to the update utility: ";

// A procedure's buffers live until the process ends.
char g_command[kDirSize];
char g_base[kDirSize];
char g_logPath[kSysDirSize];
char g_piece[kSysDirSize];

// Checks the work directory and composes the base line, the first-run line
// and the log path. Refuses (with a message) before anything has run.
bool Prepare(const char* dir, const char* baseFile, const char* firstFile) {
    memset(g_command, 0, sizeof g_command);
    memset(g_base, 0, sizeof g_base);
    memset(g_logPath, 0, sizeof g_logPath);
    memset(g_piece, 0, sizeof g_piece);
    switch (CheckWorkDir(dir, AnsiLeadByte)) {
    case kWorkDirOk:
        break;
    case kWorkDirTooLong:
        ConsoleMessage2(kDirTooLong, dir);
        return false;
    case kWorkDirUnsafe:
        ConsoleMessage2(kDirUnusable, dir);
        return false;
    }
    if (!ComposeBaseLine(g_base, kDirSize, dir, baseFile) ||
        !ComposeRunLine(g_command, kDirSize, g_base, firstFile, kFirstRunOption) ||
        !ComposeToolLogPath(g_logPath, kSysDirSize, dir)) {
        ConsoleMessage2(kDirTooLong, dir);
        return false;
    }
    return true;
}

// Scans the tool log as it stands. False when it cannot be opened.
bool ScanToolLog(LogScan* scan) {
    LogScanStart(scan);
    // Read as bytes: in text mode a Ctrl-Z byte ends the file early and a
    // marker behind it would be missed. The markers hold no line end, so the
    // CR LF pairs that text mode would fold make no difference.
    FILE* log = fopen(g_logPath, "rb");
    if (!log) return false;
    // Pieces of up to 255 characters. A short read means the end of the file
    // or a read error: either ends the scan.
    const size_t want = sizeof g_piece - 1;
    for (;;) {
        size_t got = fread(g_piece, 1, want, log);
        LogScanFeed(scan, g_piece, got);
        if (got < want) break;
    }
    (void)fclose(log);  // read only: nothing to lose
    return true;
}

// The re-run when the driver is back-level: announced, then run.
void ReRun(const char* file) {
    // Fits: the work directory check bounds every line.
    memset(g_command, 0, sizeof g_command);
    ComposeRunLine(g_command, kDirSize, g_base, file, kReRunOption);
    printf("THE DRIVER IS BACKLEVEL\n");
    printf("about to run [%s]\n", g_command);
    RunCommand(g_command);
}

}  // namespace

int UpdateWinNT(const char* dir) {
    if (!Prepare(dir, kDriverFile, "")) return 1;
    printf("WinNT command to run is [%s]\n", g_command);
    RunCommand(g_command);

    int result = 0;
    LogScan scan;
    if (ScanToolLog(&scan)) {
        if (scan.bios) result = 29;
        if (scan.driver) {
            result = scan.bios ? 30 : 28;
            ReRun("");
        }
    }
    // The last line once more, whatever the log said.
    RunCommand(g_command);
    return result;
}

int UpdateWin2k(const char* dir) {
    if (!Prepare(dir, "", kSetupFile)) return 1;
    printf("Win2k command to run is [%s]\n", g_command);
    RunCommand(g_command);

    LogScan scan;
    if (!ScanToolLog(&scan)) return 0;
    int result = 0;
    if (scan.bios) {
        printf("THE BIOS IS BACKLEVEL\n");
        result = 29;
    }
    if (!scan.driver) return result;
    result = scan.bios ? 30 : 28;
    ReRun(kDriverFile);
    return result;
}

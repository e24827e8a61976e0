#include "update/procedures.h"

#include "common/console.h"
#include "common/limits.h"
#include "update/cmdline.h"
#include "os/oscalls.h"
#include "update/logscan.h"
#include "update/runner.h"

#include <share.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kDirTooLong[] = "Update directory path is too long: ";
const char kDirNetwork[] = "Update directory is a network folder: ";
const char kDirUnusable[] = "Update directory name cannot be passed to the update utility: ";
const char kNoNewLog[] = "Update utility left no new log: ";
const char kLogUnreadable[] = "Update utility log cannot be read: ";
const char kToolMissing[] = "Update utility not found: ";
const char kNotStarted[] = "Unable to start the update utility: ";
const char kNotAwaited[] = "Unable to wait for the update utility: ";

// A procedure's buffers live until the process ends.
char g_command[kDirSize];
char g_base[kDirSize];
char g_logPath[kSysDirSize];
char g_piece[kSysDirSize];
char g_toolPath[kSysDirSize];

// Checks the work directory and composes the base line, the first-run line
// and the paths of the log and the utility. Refuses (with a message) before
// anything has run.
bool Prepare(const char* dir, const char* baseFile, const char* firstFile) {
    memset(g_command, 0, sizeof g_command);
    memset(g_base, 0, sizeof g_base);
    memset(g_logPath, 0, sizeof g_logPath);
    memset(g_piece, 0, sizeof g_piece);
    memset(g_toolPath, 0, sizeof g_toolPath);
    switch (CheckWorkDir(dir, AnsiLeadByte)) {
    case kWorkDirOk:
        break;
    case kWorkDirTooLong:
        ConsoleMessage2(kDirTooLong, dir);
        return false;
    case kWorkDirUnsafe:
        ConsoleMessage2(kDirUnusable, dir);
        return false;
    case kWorkDirNetwork:
        ConsoleMessage2(kDirNetwork, dir);
        return false;
    }
    if (!ComposeBaseLine(g_base, kDirSize, dir, baseFile) ||
        !ComposeRunLine(g_command, kDirSize, g_base, firstFile, kFirstRunOption) ||
        !ComposeToolLogPath(g_logPath, kSysDirSize, dir) || !ComposeToolPath(g_toolPath, kSysDirSize, dir)) {
        ConsoleMessage2(kDirTooLong, dir);
        return false;
    }
    return true;
}

// What the work directory's tool log looked like at one moment.
struct LogStamp {
    bool exists;
    DWORD sizeHigh;
    DWORD sizeLow;
    FILETIME written;
};

// A folder of that name is no log.
LogStamp StampToolLog() {
    LogStamp stamp;
    memset(&stamp, 0, sizeof stamp);
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof found);
    HANDLE h = g_os.FindFirstFileA(g_logPath, &found);
    if (h == INVALID_HANDLE_VALUE) return stamp;
    g_os.FindClose(h);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return stamp;
    stamp.exists = true;
    stamp.sizeHigh = found.nFileSizeHigh;
    stamp.sizeLow = found.nFileSizeLow;
    stamp.written = found.ftLastWriteTime;
    return stamp;
}

// The log counts only when this run wrote it: there now and not before, or
// grown, shrunk or rewritten since. A log left by an earlier run would
// otherwise decide this run's result.
bool WrittenSince(const LogStamp& before, const LogStamp& after) {
    if (!after.exists) return false;
    if (!before.exists) return true;
    return before.sizeHigh != after.sizeHigh || before.sizeLow != after.sizeLow ||
           before.written.dwHighDateTime != after.written.dwHighDateTime ||
           before.written.dwLowDateTime != after.written.dwLowDateTime;
}

// Scans the tool log as it stands. False when it cannot be opened or read
// to its end.
bool ScanToolLog(LogScan* scan) {
    LogScanStart(scan);
    // Read as bytes: in text mode a Ctrl-Z byte ends the file early and a
    // marker behind it would be missed. The markers hold no line end, so the
    // CR LF pairs that text mode would fold make no difference.
    FILE* log = g_os.OpenStream(g_logPath, "rb", _SH_DENYNO);
    if (!log) return false;
    // Pieces of up to 255 characters. A short read ends the scan: at the end
    // of the file, or on a read error, which leaves the rest unread and so
    // no evidence of what it holds.
    const size_t want = sizeof g_piece - 1;
    bool whole = true;
    for (;;) {
        size_t got = g_os.ReadStream(g_piece, 1, want, log);
        LogScanFeed(scan, g_piece, got);
        if (got < want) {
            whole = feof(log) != 0;
            break;
        }
    }
    (void)g_os.CloseStream(log);  // read only: nothing to lose
    return whole;
}

// cmd looks for the utility in the current directory and then along PATH:
// without ours in the work directory, a stranger's would run as the
// administrator. Checked before every run, as the package may go meanwhile.
bool RunTool(const char* command) {
    DWORD attributes = g_os.GetFileAttributesA(g_toolPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ConsoleMessage2(kToolMissing, g_toolPath);
        return false;
    }
    // A run that did not start did nothing that a result could report. One
    // not awaited may still be writing its log: nothing after it may read
    // the log or run the utility again.
    RunEnd end = kRunEnded;
    RunCommand(command, &end);
    if (end == kRunNotStarted) {
        ConsoleMessage2(kNotStarted, command);
        return false;
    }
    if (end == kRunNotAwaited) {
        ConsoleMessage2(kNotAwaited, command);
        return false;
    }
    return true;
}

enum FirstRunOutcome {
    kScanned,
    kNoEvidence,  // no new log, or one that cannot be read: said
    kNoTool,      // not there, or its run not started or not awaited: said
};

// Runs the first-run line and scans the log it left.
FirstRunOutcome FirstRun(LogScan* scan) {
    LogStamp before = StampToolLog();
    if (!RunTool(g_command)) return kNoTool;
    if (!WrittenSince(before, StampToolLog())) {
        ConsoleMessage2(kNoNewLog, g_logPath);
        return kNoEvidence;
    }
    if (ScanToolLog(scan)) return kScanned;
    ConsoleMessage2(kLogUnreadable, g_logPath);
    return kNoEvidence;
}

// The re-run when the driver is back-level: announced, then run.
bool ReRun(const char* file) {
    // Fits: the work directory check bounds every line.
    memset(g_command, 0, sizeof g_command);
    ComposeRunLine(g_command, kDirSize, g_base, file, kReRunOption);
    printf("THE DRIVER IS BACKLEVEL\n");
    printf("about to run [%s]\n", g_command);
    return RunTool(g_command);
}

}  // namespace

int UpdateWinNT(const char* dir) {
    if (!Prepare(dir, kDriverFile, "")) return 1;
    printf("WinNT command to run is [%s]\n", g_command);

    int result = 1;
    LogScan scan;
    FirstRunOutcome first = FirstRun(&scan);
    if (first == kNoTool) return 1;
    if (first == kScanned) {
        result = 0;
        if (scan.bios) result = 29;
        if (scan.driver) {
            result = scan.bios ? 30 : 28;
            if (!ReRun("")) return 1;
        }
    }
    // The last line once more, whatever the log said or whether there was one.
    if (!RunTool(g_command)) return 1;
    return result;
}

int UpdateWin2k(const char* dir) {
    if (!Prepare(dir, "", kSetupFile)) return 1;
    printf("Win2k command to run is [%s]\n", g_command);

    LogScan scan;
    if (FirstRun(&scan) != kScanned) return 1;
    int result = 0;
    if (scan.bios) {
        printf("THE BIOS IS BACKLEVEL\n");
        result = 29;
    }
    if (!scan.driver) return result;
    result = scan.bios ? 30 : 28;
    if (!ReRun(kDriverFile)) return 1;
    return result;
}

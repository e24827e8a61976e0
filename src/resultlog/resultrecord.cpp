#include "resultlog/resultrecord.h"

#include "common/console.h"
#include "common/heldfolder.h"
#include "common/limits.h"
#include "common/strbuf.h"
#include "os/oscalls.h"
#include "resultlog/recordline.h"
#include "staging/privatearea.h"

#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <string.h>

namespace {

// How long another run may hold the log before we give up, by the clock,
// and how often we look again meanwhile (a sleep may last longer).
const DWORD kHeldWaitMs = 10000;
const DWORD kHeldRetryMs = 50;

int Put(const char* text, FILE* f) { return fputs(text, f); }
int Flush(FILE* f) { return fflush(f); }
int Close(FILE* f) { return fclose(f); }
int Cut(int fd, long length) { return _chsize(fd, length); }

const char kCreationFailed[] = "Log File Creation Failed!";

[[noreturn]] void EndRun(const char* message) {
    ConsoleMessage(message);
    exit(1);
}

// The log is what administrators read to see which servers took an
// update. A folder made here lets Users read it and nobody else write; one
// that is there already is used as it is. Never made open to all. Held
// until the line is written, so that nobody can rename it away and put a
// folder of their own in its place meanwhile.
HANDLE HoldLogFolder(const char* dir) {
    HANDLE held = HoldFolder(dir);
    if (held != INVALID_HANDLE_VALUE) return held;
    SECURITY_ATTRIBUTES security;
    if (!BuildLogFolderSecurity(&security)) {
        ConsoleMessage("Unable to make the result log folder private.");
        EndRun(kCreationFailed);
    }
    // Another run may make it first: the hold decides.
    g_os.CreateDirectoryA(dir, &security);
    return HoldFolder(dir);
}

// Other writers are kept out while the file is open: two runs appending at
// once would otherwise write over each other's line. A run that holds the
// file shows as a sharing violation, worth waiting for; a read-only file or
// a folder of that name will not change, so those fail at once.
FILE* OpenDenyingWriters(const char* path) {
    const DWORD start = g_os.GetTickCount();
    for (;;) {
        _doserrno = 0;
        FILE* f = g_os.OpenStream(path, "a+", _SH_DENYWR);
        if (f != nullptr) return f;
        // Unsigned difference: right across the counter's wrap after 49.7 days.
        if (_doserrno != ERROR_SHARING_VIOLATION || g_os.GetTickCount() - start >= kHeldWaitMs) return nullptr;
        g_os.Sleep(kHeldRetryMs);
    }
}

}  // namespace

RecordIo g_recordIo = {Put, Flush, Close, Cut};

AppendOutcome AppendRecordLine(const char* path, const char* line) {
    FILE* log = OpenDenyingWriters(path);
    if (log == nullptr) return kAppendOpenFailed;
    // Unbuffered: what a put reports is what reached the file, and after a
    // failure nothing is left over for the close to write behind the cut.
    bool ok = setvbuf(log, nullptr, _IONBF, 0) == 0;
    long length = -1;
    if (ok && fseek(log, 0, SEEK_END) == 0) length = ftell(log);
    ok = ok && length >= 0;
    bool fragment = false;
    if (ok && length > 0) {
        ok = fseek(log, -1, SEEK_END) == 0;
        fragment = fgetc(log) != '\n';
        // A stream that was read must be positioned before it is written.
        ok = fseek(log, 0, SEEK_END) == 0 && ok;
    }
    // A line cut off by an earlier failure or a crash: ours starts anew.
    if (ok && fragment) ok = g_recordIo.put("\n", log) >= 0;
    if (ok) ok = g_recordIo.put(line, log) >= 0;
    if (ok) ok = g_recordIo.flush(log) == 0;
    // No part of a failed line stays; the lock still keeps others out. If
    // the cut fails too, the piece stays: the next line starts after it on a
    // line of its own.
    bool pieceLeft = !ok && length >= 0 && g_recordIo.cut(_fileno(log), length) != 0;
    if (g_recordIo.close(log) != 0) ok = false;
    if (pieceLeft) return kAppendPieceLeft;
    return ok ? kAppended : kAppendWriteFailed;
}

int WriteResultRecord(const char* date, const char* time, const char* update, const char* newValue,
                      int resultCode) {
    char path[kRecordPathSize];
    memset(path, 0, sizeof path);
    // msvcrt matches the name in any letter case, as the environment block does.
    const char* drive = getenv("systemdrive");
    if (drive == nullptr || !LogDirPath(path, sizeof path, drive)) EndRun(kCreationFailed);
    HANDLE folder = HoldLogFolder(path);
    // One someone else made (after renaming ours away) is not written to.
    if (folder == INVALID_HANDLE_VALUE || !HeldFolderOwnerTrusted(folder)) EndRun(kCreationFailed);
    StrAppend(path, sizeof path, kLogFileName);  // fits: LogDirPath made room

    char line[kRecordLineSize];
    memset(line, 0, sizeof line);
    // Cannot fail (the longest line has 342 characters); if it did, the line
    // would be left out whole rather than cut.
    (void)ComposeRecordLine(line, sizeof line, date, time, update, newValue, resultCode);
    AppendOutcome outcome = AppendRecordLine(path, line);
    g_os.CloseHandle(folder);
    switch (outcome) {
    case kAppended:
        break;
    case kAppendOpenFailed:
        EndRun(kCreationFailed);
    case kAppendWriteFailed:
    case kAppendPieceLeft:
        EndRun("Log File Write Failed!");
    }
    return 0;
}

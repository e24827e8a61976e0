#include "resultlog/resultrecord.h"

#include "common/console.h"
#include "common/heldfolder.h"
#include "common/limits.h"
#include "common/privatearea.h"
#include "common/strbuf.h"
#include "common/trustedfolder.h"
#include "os/oscalls.h"
#include "resultlog/recordline.h"

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

// A folder still held is let go first: nothing of the run stays open.
[[noreturn]] void EndRun(const char* message, HeldFolder* held = nullptr) {
    if (held != nullptr) LetGo(held);
    ConsoleMessage(message);
    exit(1);
}

const char kNotPrivate[] = "Unable to make the result log folder private.";

// The log is what administrators read to see which servers took an
// update. A folder made here lets Users read it and nobody else write. Held
// until the line is written, so that nobody can rename it away and put a
// folder of their own in its place meanwhile; WRITE_DAC to make it private.
void HoldLogFolder(const char* dir, HeldFolder* held) {
    if (HoldFolder(dir, WRITE_DAC, held)) return;
    SECURITY_ATTRIBUTES security;
    if (!BuildLogFolderSecurity(&security)) {
        ConsoleMessage(kNotPrivate);
        EndRun(kCreationFailed);
    }
    // Another run may make it first: the hold decides.
    g_os.CreateDirectoryA(dir, &security);
    if (!HoldFolder(dir, WRITE_DAC, held)) EndRun(kCreationFailed);
}

// A link, or a folder another account owns, is never written to. One of a
// trusted owner that others may write to (made by an earlier version, or
// renamed into place) is made private first: records keep flowing with no
// step for the administrator, and nobody else can rewrite them.
void SecureLogFolder(const char* dir, HeldFolder* held) {
    Trust trust = JudgeHeldFolder(dir, *held, kOthersRead);
    if (trust == kOpenToOthers) {
        if (!MakePrivate(held->handle, kOthersRead)) {
            ConsoleMessage(kNotPrivate);
            EndRun(kCreationFailed, held);
        }
        ConsoleMessage2("Result log folder made private: ", dir);
        trust = JudgeHeldFolder(dir, *held, kOthersRead);
    }
    if (trust != kTrusted) EndRun(kCreationFailed, held);
}

// The open log file, judged through its own handle: a file planted by
// another account, a second name of another file, or a link is not
// appended to. One of ours that others may write to is made private.
bool SecureLogFile(const char* path, FILE* log, bool keepsSecurity) {
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(log)));
    Trust trust = JudgeOpenFile(path, file, keepsSecurity, kOthersRead);
    if (trust != kOpenToOthers) return trust == kTrusted;
    // Our handle may write, not change the DACL: a second one that may,
    // checked to be the same file (the folder is held and now ours).
    HANDLE dac = g_os.CreateFileA(path, WRITE_DAC | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (dac == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    memset(&a, 0, sizeof a);
    memset(&b, 0, sizeof b);
    bool same = g_os.GetFileInformationByHandle(file, &a) && g_os.GetFileInformationByHandle(dac, &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                a.nFileIndexLow == b.nFileIndexLow;
    bool made = same && MakePrivate(dac, kOthersRead);
    g_os.CloseHandle(dac);
    if (!made) return false;
    ConsoleMessage2("Result log file made private: ", path);
    return JudgeOpenFile(path, file, keepsSecurity, kOthersRead) == kTrusted;
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

AppendOutcome AppendRecordLine(const char* path, const char* line, bool keepsSecurity) {
    if (NameIsLink(path)) return kAppendOpenFailed;
    FILE* log = OpenDenyingWriters(path);
    if (log == nullptr) return kAppendOpenFailed;
    if (!SecureLogFile(path, log, keepsSecurity)) {
        (void)g_recordIo.close(log);  // nothing written
        return kAppendOpenFailed;
    }
    // Unbuffered: what a put reports is what reached the file, and after a
    // failure nothing is left over for the close to write behind the cut.
    bool ok = g_os.BufferStream(log, nullptr, _IONBF, 0) == 0;
    long length = -1;
    if (ok && g_os.SeekStream(log, 0, SEEK_END) == 0) length = g_os.TellStream(log);
    ok = ok && length >= 0;
    bool fragment = false;
    if (ok && length > 0) {
        ok = g_os.SeekStream(log, -1, SEEK_END) == 0;
        // A last character that cannot be read is no line end to rely on.
        int last = ok ? g_os.ReadStreamChar(log) : EOF;
        ok = ok && last != EOF;
        fragment = last != '\n';
        // A stream that was read must be positioned before it is written.
        ok = ok && g_os.SeekStream(log, 0, SEEK_END) == 0;
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
    HeldFolder folder;
    HoldLogFolder(path, &folder);
    SecureLogFolder(path, &folder);
    StrAppend(path, sizeof path, kLogFileName);  // fits: LogDirPath made room

    char line[kRecordLineSize];
    memset(line, 0, sizeof line);
    // Cannot fail (the longest line has 342 characters); if it did, the line
    // would be left out whole rather than cut.
    (void)ComposeRecordLine(line, sizeof line, date, time, update, newValue, resultCode);
    AppendOutcome outcome = AppendRecordLine(path, line, folder.keepsSecurity);
    LetGo(&folder);
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

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

// Why a log folder or file is refused, in one line before the run ends (a
// name gone or of the wrong kind says nothing more than that it failed).
void SayWhyRefused(NotOursWhy why, const char* path) {
    char owner[kRecordPathSize];
    char text[kRecordPathSize * 2];
    memset(text, 0, sizeof text);
    switch (why) {
    case kWhyLink:
        ConsoleMessage2("Result log refused, it is a link: ", path);
        break;
    case kWhyOwner:
        // Named where the account can be looked up.
        if (OwnerName(owner, sizeof owner) && StrCopy(text, sizeof text, "Result log refused, owned by ") &&
            StrAppend(text, sizeof text, owner) && StrAppend(text, sizeof text, ": "))
            ConsoleMessage2(text, path);
        else
            ConsoleMessage2("Result log refused, owned by another account: ", path);
        break;
    case kWhyNames:
        ConsoleMessage2("Result log refused, it has more than one name: ", path);
        break;
    case kWhyUnread:
        ConsoleMessage2("Result log refused, its owner and permissions cannot be read: ", path);
        break;
    case kWhyNone:
    case kWhyNotThere:
        break;
    }
}

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
    NotOursWhy why = kWhyNone;
    Trust trust = JudgeHeldFolder(dir, *held, kOthersRead, &why);
    if (trust == kOpenToOthers) {
        if (!MakePrivate(held->handle, kOthersRead)) {
            ConsoleMessage(kNotPrivate);
            EndRun(kCreationFailed, held);
        }
        ConsoleMessage2("Result log folder made private: ", dir);
        trust = JudgeHeldFolder(dir, *held, kOthersRead, &why);
    }
    if (trust != kTrusted) {
        SayWhyRefused(why, dir);
        EndRun(kCreationFailed, held);
    }
}

// Two handles of one file. Where the file system gives no index, as it
// always was: the same when both can be read.
bool SameFile(HANDLE a, HANDLE b) {
    FolderId ia, ib;
    bool hasA = HeldFolderId(a, &ia), hasB = HeldFolderId(b, &ib);
    if (hasA || hasB) return hasA && hasB && SameFolderId(ia, ib);
    return KindOfHandle(a) != kHandleUnknown && KindOfHandle(b) != kHandleUnknown;
}

// The log file as it is, before the stream's open can change a byte of it (a
// text-mode "a+" drops a trailing Ctrl-Z): opened as itself (a link is not
// followed), for reading its security only. A log of ours is kept open in
// *judged, to be the one the stream opens. One that others could write to
// may hold forged lines: it is set aside as aside, whole, and a new one is
// made. Missing, the stream's open makes it.
bool JudgeBeforeOpen(const char* path, const char* aside, bool keepsSecurity, HANDLE* judged) {
    // Twice: another run may set it aside between our judging and our rename.
    for (int tries = 1;; ++tries) {
        *judged = g_os.CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (*judged == INVALID_HANDLE_VALUE) {
            DWORD error = g_os.GetLastError();
            if (NameIsLink(path)) {
                SayWhyRefused(kWhyLink, path);
                return false;
            }
            // Only a missing log is left to the stream's open (it makes a new
            // one): one that is there but cannot be judged is not written to.
            return error == ERROR_FILE_NOT_FOUND;
        }
        NotOursWhy why = kWhyNone;
        Trust trust = JudgeOpenFile(path, *judged, keepsSecurity, kOthersRead, &why);
        if (trust == kTrusted) return true;
        g_os.CloseHandle(*judged);
        *judged = INVALID_HANDLE_VALUE;
        if (trust == kNotOurs) {
            SayWhyRefused(why, path);
            return false;
        }
        // The folder is ours and private by now: nobody else can put a file
        // in its place before the rename, or under the new name after it.
        if (g_os.MoveFileA(path, aside)) {
            ConsoleMessage2("Result log was open to other accounts, set aside as: ", aside);
            return true;
        }
        if (g_os.GetLastError() != ERROR_FILE_NOT_FOUND || tries == 2) {
            ConsoleMessage2("Unable to set the result log aside: ", path);
            return false;
        }
    }
}

// The open log file, judged through its own handle: the one judged before,
// and still a file of ours. One it made itself that others may write to
// (nothing in it yet) is made private.
bool SecureLogFile(const char* path, FILE* log, bool keepsSecurity, HANDLE judged) {
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(log)));
    if (judged != INVALID_HANDLE_VALUE && !SameFile(judged, file)) return false;
    NotOursWhy why = kWhyNone;
    Trust trust = JudgeOpenFile(path, file, keepsSecurity, kOthersRead, &why);
    if (trust != kOpenToOthers) {
        if (trust != kTrusted) SayWhyRefused(why, path);
        return trust == kTrusted;
    }
    // Our handle may write, not change the DACL: a second one that may,
    // checked to be the same file (the folder is held and now ours).
    HANDLE dac = g_os.CreateFileA(path, WRITE_DAC | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (dac == INVALID_HANDLE_VALUE) return false;
    bool made = SameFile(file, dac) && MakePrivate(dac, kOthersRead);
    g_os.CloseHandle(dac);
    if (!made) {
        ConsoleMessage("Unable to make the result log file private.");
        return false;
    }
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

AppendOutcome AppendRecordLine(const char* path, const char* line, const char* aside, bool keepsSecurity) {
    HANDLE judged = INVALID_HANDLE_VALUE;
    if (!JudgeBeforeOpen(path, aside, keepsSecurity, &judged)) return kAppendOpenFailed;
    FILE* log = OpenDenyingWriters(path);
    bool secured = log != nullptr && SecureLogFile(path, log, keepsSecurity, judged);
    if (judged != INVALID_HANDLE_VALUE) g_os.CloseHandle(judged);
    if (log == nullptr) return kAppendOpenFailed;
    if (!secured) {
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
    // The line is whole and flushed: a close that fails after that changes
    // nothing in the file. Reported as a failure, a tool that retries on 1
    // would apply the update again and record it twice.
    (void)g_recordIo.close(log);
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
    char aside[kPathSize];
    if (!SetAsidePath(aside, sizeof aside, path, date, time)) EndRun(kCreationFailed, &folder);
    StrAppend(path, sizeof path, kLogFileName);  // fits: LogDirPath made room

    char line[kRecordLineSize];
    memset(line, 0, sizeof line);
    // Cannot fail (the longest line has 342 characters); if it did, the line
    // would be left out whole rather than cut.
    (void)ComposeRecordLine(line, sizeof line, date, time, update, newValue, resultCode);
    AppendOutcome outcome = AppendRecordLine(path, line, aside, folder.keepsSecurity);
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

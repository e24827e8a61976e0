// The result log, C:\QVLOG\QV.log on the system drive: one line appended per
// recorded run.
#ifndef VORPKG_RESULTLOG_RESULTRECORD_H
#define VORPKG_RESULTLOG_RESULTRECORD_H

#include <stdio.h>

// Appends one line for the run to the log, its directory made when missing,
// and returns 0. When the log cannot be opened ("Log File Creation Failed!")
// or the line cannot be written whole ("Log File Write Failed!") the process
// ends here with exit status 1.
int WriteResultRecord(const char* date, const char* time, const char* update, const char* newValue,
                      int resultCode);

enum AppendOutcome {
    kAppended,
    kAppendOpenFailed,   // nothing written: not opened, or not ours
    kAppendWriteFailed,  // the file cut back to its old length
    kAppendPieceLeft,    // the write failed and so did the cut: a piece of the line may stay
};

// Appends line to the text file at path, on a line of its own: a file that
// does not end in a line feed gets one first. Other runs are kept from
// writing meanwhile; while one of them holds the file, waits up to 10 s by
// the clock. A file that is not ours (another account's, a link, a second
// name) is not written to, and says why. One that others may write to is
// renamed to aside, kept whole, and a new one gets the line. keepsSecurity:
// the volume has owners and DACLs to judge.
AppendOutcome AppendRecordLine(const char* path, const char* line, const char* aside, bool keepsSecurity = true);

// The run-time calls that write the record, in one table so that tests can
// play a full disk.
struct RecordIo {
    int (*put)(const char* text, FILE* f);
    int (*flush)(FILE* f);
    int (*close)(FILE* f);
    int (*cut)(int fd, long length);  // _chsize
};

extern RecordIo g_recordIo;

#endif

// What vorpkg must print, run and record for one update run: the model both
// the self-test and the acceptance matrix check a run against. Free of any
// OS header (it builds natively too).
#ifndef VORPKG_SELFTEST_EXPECT_H
#define VORPKG_SELFTEST_EXPECT_H

#include <stddef.h>

// Which update procedure vorpkg follows on a Windows version.
enum Procedure { kProcedureNt, kProcedureWin2k, kProcedureNone };

// What the utility's first run writes to its log, and what vorpkg makes of it.
struct ToolLog {
    const char* kind;  // the stand-in's scenario kind
    bool bios;
    bool driver;
    bool written;
    int code;
};

const size_t kExpectLine = 600;
const size_t kExpectLines = 16;  // the usage text's lines fit

// Lines of kExpectLine characters each, one after the other.
struct ExpectedRun {
    char console[kExpectLines * kExpectLine];
    size_t consoleCount;
    char trace[kExpectLines * kExpectLine];  // the utility's command lines
    size_t traceCount;
    int code;
    bool fits;  // false: a line did not fit (dir too long)
};

const char* ExpectedLine(const char* lines, size_t i);

// The run of an update in work directory dir (ending in a backslash) whose
// package holds the utility (or not) and whose first run writes log;
// noVersionId: an in-place run whose package has no version.id (no record);
// network: in place in a network folder (refused where there is a procedure).
void ExpectUpdate(Procedure procedure, const char* dir, const ToolLog& log, bool utility, bool noVersionId,
                  ExpectedRun* e, bool network = false);

// A run refused before anything runs: the lines of text (each ended by
// LF), then the exit code.
void ExpectRefusal(const char* text, int code, ExpectedRun* e);

// What follows the time stamp in the result-log record of an in-place run.
bool RecordRest(char* buf, size_t size, const char* update, const char* version, int code);

// A record's "MM-DD-YYYY hh:mm:ss" lies between the two local times (the
// same form) read before and after the run, a run across midnight or a new
// year included.
bool StampWithin(const char* stamp, const char* before, const char* after);

#endif

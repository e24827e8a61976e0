// Every entry of the OS-call table and of the record I/O table wrapped for
// the sweep: each call counted and, at one chosen call point, failed as
// Windows fails it, or the process cut off there.
#ifndef VORPKG_SWEEP_HOOKS_H
#define VORPKG_SWEEP_HOOKS_H

#include "os/oscalls.h"
#include "resultlog/resultrecord.h"

#include <vector>

enum FaultKind { kNoFault, kFail, kCut };

// One call of a run, as the fault-free run made it.
struct CallPoint {
    const char* entry;
    bool canFail;
    bool changesDisk;
    bool logOpen;  // made while the result log was open
    bool failed = false;  // the hooks failed it: where the fault landed
};

// What each wrapper passes a call on to: the real tables, until the sweep
// puts its stand-ins into them.
extern OsCalls g_passOs;
extern RecordIo g_passIo;

// Once, before any run: every entry of g_os and g_recordIo wrapped.
void InstallHooks();
// The names of all entries of both tables.
std::vector<const char*> EntryNames();

// A put that writes part of its text before it fails: swept as an error.
const DWORD kPartWritten = 0xE0000001;

// The errors an entry's failure is swept with, in turn (none: it cannot fail).
std::vector<DWORD> ErrorsOf(const char* entry);

// One call point to fault (1 for the first call; 0: none) and the error it
// leaves.
struct Fault {
    long point;
    DWORD error;
};

// Arms the wrappers for one run: the call point to fault, a second one that
// only the first one's path reaches, and a bound on calls, past which the
// run is ended. Each call is appended to points when given.
void ArmRun(FaultKind kind, Fault first, long bound, std::vector<CallPoint>* points, Fault second = {0, 0});
long CallsMade();
const char* FaultedEntry();  // the entry at the faulted point, once reached

// Runs UpdateRun; a run that calls exit or passes the bound comes back here.
// exited: it called exit (its status is the result); bounded: it passed the bound.
int GuardedRun(int argc, char** argv, bool* exited, bool* bounded);

// The result log is open (between an "a+" open and the record's close).
void NoteLogOpen(bool open);

// Exit code of a child that the sweep cut off.
const int kCutExit = 77;

#endif

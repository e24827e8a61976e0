// Runs one command through the command interpreter and waits for it.
#ifndef VORPKG_UPDATE_RUNNER_H
#define VORPKG_UPDATE_RUNNER_H

// How a run ended, for callers that must know the command ran to its end.
enum RunEnd {
    kRunEnded,
    kRunNotStarted,  // nothing ran: the result is the error code
    kRunNotAwaited,  // started, but the wait failed: it may still be running
};

// Starts "cmd /d /c \"command\"" (cmd.exe of the system folder, never one
// the program search would find elsewhere first), waits without limit and returns the
// interpreter's exit code; when it cannot start, the Win32 error code. A
// command longer than 247 characters is refused unstarted with
// ERROR_FILENAME_EXCED_RANGE (206). Prints nothing. end, when given, says
// how the run ended.
int RunCommand(const char* command, RunEnd* end = nullptr);

#endif

// The update utility's command lines and the interpreter line that carries
// one, composed into fixed buffers. No OS calls here.
#ifndef VORPKG_UPDATE_CMDLINE_H
#define VORPKG_UPDATE_CMDLINE_H

#include "common/dbcs.h"

#include <stddef.h>

// The longest work directory whose command lines the runner still takes:
// a first-run line is 59 + 2 * length characters, at most 247.
const size_t kMaxWorkDirLength = 94;

extern const char kToolName[];        // "mervane.exe"
extern const char kToolLogName[];     // "VOR.LOG"
extern const char kDriverFile[];      // "zorvad.sys"
extern const char kSetupFile[];       // "zorvad.inf"
extern const char kFirstRunOption[];  // " /oisafe12"
extern const char kReRunOption[];     // " /oinowdp"

enum WorkDirCheck {
    kWorkDirOk,
    kWorkDirTooLong,
    // A blank or control character, or one that cmd acts on inside a quoted
    // /c string (" & | < > ^ %): it would split the utility's arguments or
    // run something else.
    kWorkDirUnsafe,
    // \\server\share\...: cmd cannot start in it and falls back to the
    // Windows directory, where another mervane.exe may be found.
    kWorkDirNetwork,
};

// The byte after a lead byte is the second half of its character, not a
// character of its own, and is not checked (in code page 932 it may be
// 0x5E '^' or 0x7C '|'). isLeadByte may be null: single bytes only.
WorkDirCheck CheckWorkDir(const char* dir, LeadByteTest isLeadByte);

// Each composer fills buf (of size characters) from scratch and returns false,
// with buf emptied, when the result does not fit.
// "mervane.exe /l " dir "VOR.LOG /s /noreboot /i " dir file
bool ComposeBaseLine(char* buf, size_t size, const char* dir, const char* file);
// base file option
bool ComposeRunLine(char* buf, size_t size, const char* base, const char* file, const char* option);
// dir "VOR.LOG"
bool ComposeToolLogPath(char* buf, size_t size, const char* dir);
// dir "mervane.exe"
bool ComposeToolPath(char* buf, size_t size, const char* dir);
// "cmd /d /c \"" command "\""
bool ComposeInterpreterLine(char* buf, size_t size, const char* command);

#endif

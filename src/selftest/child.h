// vorpkg.exe run as a child process, its standard output and error into a
// file of the self-test's, read back when it has ended.
#ifndef VORPKG_SELFTEST_CHILD_H
#define VORPKG_SELFTEST_CHILD_H

#include "selftest/files.h"

#include <windows.h>

const size_t kOutputSize = 16384;
const size_t kMaxLines = 48;

struct Child {
    HANDLE process;
    char outPath[kPath];
    // Filled by FinishChild.
    DWORD exitCode;
    char output[kOutputSize];
    char* lines[kMaxLines];  // into output, CR LF and LF ends removed
    size_t lineCount;
    const char* problem;     // why there is no result; nullptr when there is
};

// Starts "exe" args (args may be empty) in startDir, output to outPath.
bool StartChild(const char* exe, const char* args, const char* startDir, const char* outPath, Child* child);
// Waits for it (two minutes at most) and reads what it wrote. False, with
// child->problem, when it did not end or its output cannot be read.
bool FinishChild(Child* child);

#endif

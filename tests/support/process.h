// Runs a Windows program as a whole process under Wine and collects what it
// writes to standard output and standard error.
#ifndef VORPKG_TESTS_PROCESS_H
#define VORPKG_TESTS_PROCESS_H

#include <string>
#include <utility>
#include <vector>

struct RunResult {
    int exitCode = -1;
    std::string out;  // standard output and standard error, CR LF as LF
    std::vector<std::string> lines() const;
};

struct RunOptions {
    // Windows version Wine reports to vorpkg.exe: nt40, win2k, win2003, winxp,
    // win10. Empty leaves Wine's default.
    std::string winver = "win2k";
    std::string startDir;                 // Windows path; empty: the test's own
    std::vector<std::string> args;        // each quoted only when it holds a blank
    std::vector<std::pair<std::string, std::string>> env;  // added or replaced
    std::vector<std::string> unsetEnv;    // removed, names matched in any case
    std::string program;                  // Windows path; empty: vorpkg.exe
};

RunResult RunVorpkg(const RunOptions& opts);

// Sets (or with an empty value removes) the Windows version that Wine reports
// to programs of the given file name.
void SetWineVersionFor(const std::string& exeName, const std::string& winver);

std::string VorpkgExe();

#endif

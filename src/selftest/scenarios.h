// The scenarios the self-test plays with vorpkg.exe on this system, each
// checked from outside as the acceptance tests do: exit code, every console
// line, the stand-in's command lines and the result-log record.
#ifndef VORPKG_SELFTEST_SCENARIOS_H
#define VORPKG_SELFTEST_SCENARIOS_H

#include "selftest/files.h"
#include "selftest/security.h"
#include "selftest/system.h"

// The release's version, from project() of the top CMakeLists.txt.
#ifndef VORPKG_SELFTEST_VERSION
#define VORPKG_SELFTEST_VERSION "(development build)"
#endif

struct SelfTest {
    SystemInfo system;
    char vorpkg[kPath];   // the vorpkg.exe tested
    char self[kPath];     // this program, copied into each package
    char top[kPath];      // the self-test's own folder for packages and output
    char qvlog[kPath];    // <root>QVLOG
    char qvlogFile[kPath];
    bool qvlogWasThere;   // before the first run: not made by the vorpkg tested
    int inPlaceRuns;      // so far: only the first may make an older \QVLOG private
    char token[20];       // the one-off value the stand-in answers to (standin.h)
    char vorpkgVersion[48];  // from the tested vorpkg.exe's version resource
    DaclFidelity fidelity;
    bool cleanedUp;       // every staging area a run made was removed
};

// Plays every scenario and reports each.
void PlayScenarios(SelfTest* t);

#endif

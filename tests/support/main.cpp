// Test entry: plain line feeds on standard output, so that CTest's reading
// of the test list is not thrown by the CR LF of text mode.
//
// Wine's cmd now and then answers "Can't recognize '<line>' as an internal or
// external command" for a program it has just found (it prints that whenever
// starting the found program fails, whatever the reason). A case that fails
// with that answer for the stand-in on its console is run once more, in a new
// process, and the rerun is reported; no other failure is ever run again.
#include "process.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <gtest/gtest.h>

namespace {

const char kRerunVar[] = "VORPKG_TEST_RERUN";

// Runs this program again with the same command line, in the same console,
// and returns its exit code.
int RunAgain() {
    SetEnvironmentVariableA(kRerunVar, "1");
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    wchar_t* cmdline = _wcsdup(GetCommandLineW());
    BOOL ok = CreateProcessW(nullptr, cmdline, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    free(cmdline);
    if (!ok) {
        printf("[ RERUN    ] cannot start the rerun: error %lu\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    const testing::UnitTest& all = *testing::UnitTest::GetInstance();
    const char* rerun = getenv(kRerunVar);
    if (rc != 0 && all.test_to_run_count() == 1 && CmdNotFoundSeen() && !(rerun && *rerun)) {
        printf("[ RERUN    ] cmd answered \"Can't recognize\" for the stand-in: running this case once more\n");
        fflush(stdout);
        rc = RunAgain();
        printf("[ RERUN    ] the rerun %s\n", rc == 0 ? "passed" : "failed too");
    }
    return rc;
}

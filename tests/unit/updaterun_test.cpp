// The run sequence's start-up failures, injected through the OS-call table.
#include "osoverride.h"
#include "run/updaterun.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD g_reply;          // what the fake GetCurrentDirectoryA returns
std::string g_dirText;  // what it writes, when it fits
int g_setDirCalls;

DWORD WINAPI FakeGetCurrentDirectoryA(DWORD size, LPSTR buf) {
    if (g_reply < size && !g_dirText.empty()) memcpy(buf, g_dirText.c_str(), g_dirText.size() + 1);
    return g_reply;
}

// Windows XP: the run goes through to its end without running an update.
BOOL WINAPI XpGetVersionExA(LPOSVERSIONINFOA info) {
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    return TRUE;
}

BOOL WINAPI CountingSetCurrentDirectoryA(LPCSTR) {
    ++g_setDirCalls;
    return TRUE;
}

struct StartFailure {
    const char* name;
    DWORD reply;
    size_t dirLength;  // 0: nothing written
    const char* message;
};

const StartFailure kFailures[] = {
    {"call_fails", 0, 0, "Unable to determine current directory.  Aborting update!"},
    {"needs_261", 261, 0, "Unable to determine current directory.  Aborting update!"},
    {"needs_4000", 4000, 0, "Unable to determine current directory.  Aborting update!"},
    // 260 characters fit the buffer, but not with the added backslash.
    {"fits_without_backslash_only", 260, 260, "Start directory path is too long.  Aborting update!"},
};

void PrintTo(const StartFailure& r, std::ostream* os) { *os << r.name; }

class StartDirectoryFailure : public testing::TestWithParam<StartFailure> {};

TEST_P(StartDirectoryFailure, AbortsWithOneAndRunsNothing) {
    const StartFailure& f = GetParam();
    TempDir logRoot;
    // Keep any record this run writes away from the machine's own log.
    std::string drive = "SYSTEMDRIVE=" + logRoot.path();
    _putenv(drive.c_str());
    g_reply = f.reply;
    g_dirText = f.dirLength ? "C:\\" + std::string(f.dirLength - 3, 'a') : "";
    g_setDirCalls = 0;
    int code;
    std::string out;
    {
        OsOverride cwd(&OsCalls::GetCurrentDirectoryA, FakeGetCurrentDirectoryA);
        OsOverride setDir(&OsCalls::SetCurrentDirectoryA, CountingSetCurrentDirectoryA);
        testing::internal::CaptureStdout();
        char arg0[] = "vorpkg";
        char* argv[] = {arg0, nullptr};
        code = UpdateRun(1, argv);
        out = testing::internal::GetCapturedStdout();
    }
    _putenv("SYSTEMDRIVE=C:");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out.substr(0, out.find('\n')), f.message);
    EXPECT_EQ(out.find("Return Code"), std::string::npos);
    EXPECT_EQ(g_setDirCalls, 0) << "no directory change before the abort";
}

INSTANTIATE_TEST_SUITE_P(Table, StartDirectoryFailure, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<StartFailure>& info) { return std::string(info.param.name); });

// 259 characters plus the backslash fill the 261-character buffer exactly.
TEST(StartDirectory, LongestThatFitsRunsOn) {
    TempDir logRoot;
    std::string drive = "SYSTEMDRIVE=" + logRoot.path();
    _putenv(drive.c_str());
    g_reply = 259;
    g_dirText = "C:\\" + std::string(256, 'b');
    g_setDirCalls = 0;
    std::string out;
    {
        OsOverride cwd(&OsCalls::GetCurrentDirectoryA, FakeGetCurrentDirectoryA);
        OsOverride setDir(&OsCalls::SetCurrentDirectoryA, CountingSetCurrentDirectoryA);
        OsOverride version(&OsCalls::GetVersionExA, XpGetVersionExA);
        testing::internal::CaptureStdout();
        char arg0[] = "vorpkg";
        char* argv[] = {arg0, nullptr};
        EXPECT_EQ(UpdateRun(1, argv), 9);
        out = testing::internal::GetCapturedStdout();
    }
    _putenv("SYSTEMDRIVE=C:");
    EXPECT_NE(out.find("Return Code from vorpkg is "), std::string::npos) << out;
    EXPECT_EQ(g_setDirCalls, 2) << "to the work directory and back";
}

int g_tempNameCalls;

UINT WINAPI CountingGetTempFileNameA(LPCSTR, LPCSTR, UINT, LPSTR) {
    ++g_tempNameCalls;
    return 0;
}

// The usage is answered before the first OS call: no system directory, no
// temporary name (which would be made on disk), no directory change.
TEST(Usage, AnsweredBeforeAnyOsCall) {
    g_reply = 0;
    g_setDirCalls = 0;
    g_tempNameCalls = 0;
    std::string out;
    int code;
    {
        OsOverride cwd(&OsCalls::GetCurrentDirectoryA, FakeGetCurrentDirectoryA);
        OsOverride setDir(&OsCalls::SetCurrentDirectoryA, CountingSetCurrentDirectoryA);
        OsOverride temp(&OsCalls::GetTempFileNameA, CountingGetTempFileNameA);
        testing::internal::CaptureStdout();
        char arg0[] = "vorpkg";
        char arg1[] = "/?";
        char* argv[] = {arg0, arg1, nullptr};
        code = UpdateRun(2, argv);
        out = testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out.rfind("vorpkg applies", 0), 0u) << out;
    EXPECT_EQ(g_tempNameCalls, 0);
    EXPECT_EQ(g_setDirCalls, 0);
}

}  // namespace

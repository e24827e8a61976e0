// The command runner with the real interpreter: the exact process call,
// the length limit, what reaches the program run, and failures of the
// process calls injected through the OS-call table.
#include "osoverride.h"
#include "package.h"
#include "update/runner.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Seen {
    int creates = 0;
    std::string line;
    bool asExpected = false;  // every argument but the line as the runner must pass it
    std::vector<std::string> calls;
    PROCESS_INFORMATION process = {};
};
Seen g_seen;
OsOverride<decltype(OsCalls::CreateProcessA)>* g_realCreate;

// The interpreter is the system's, by its full path: never one the program
// search would find in the work directory or beside vorpkg.exe first.
std::string SystemCmd() {
    char dir[MAX_PATH] = {};
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\cmd.exe";
}

bool AllZero(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return false;
    return true;
}

BOOL WINAPI RecordingCreateProcessA(LPCSTR app, LPSTR line, LPSECURITY_ATTRIBUTES pa, LPSECURITY_ATTRIBUTES ta,
                                    BOOL inherit, DWORD flags, LPVOID env, LPCSTR cwd, LPSTARTUPINFOA si,
                                    LPPROCESS_INFORMATION pi) {
    ++g_seen.creates;
    g_seen.line = line;
    g_seen.calls.push_back("create");
    // The record is all zero but its size; the process record starts zeroed.
    bool startupZero = si->cb == sizeof(STARTUPINFOA) &&
                       AllZero(reinterpret_cast<char*>(si) + sizeof si->cb, sizeof *si - sizeof si->cb);
    g_seen.asExpected = app != nullptr && app == SystemCmd() &&
                        pa == nullptr && ta == nullptr && inherit == FALSE && flags == 0 &&
                        env == nullptr && cwd == nullptr && startupZero && AllZero(pi, sizeof *pi);
    BOOL ok = g_realCreate->saved()(app, line, pa, ta, inherit, flags, env, cwd, si, pi);
    if (ok) g_seen.process = *pi;
    return ok;
}

BOOL WINAPI FailingCreateProcessA(LPCSTR, LPSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                  LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
    ++g_seen.creates;
    g_seen.line = line;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

DWORD WINAPI RecordingWait(HANDLE h, DWORD ms) {
    g_seen.calls.push_back(ms == INFINITE ? "wait infinite" : "wait " + std::to_string(ms));
    return WaitForSingleObject(h, ms);
}

BOOL WINAPI FailingGetExitCodeProcess(HANDLE, LPDWORD) {
    g_seen.calls.push_back("exit code");
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI RecordingCloseHandle(HANDLE h) {
    g_seen.calls.push_back(h == g_seen.process.hProcess  ? "close process"
                           : h == g_seen.process.hThread ? "close thread"
                                                         : "close other");
    return CloseHandle(h);
}

class Runner : public testing::Test {
protected:
    Runner()
        : create_(&OsCalls::CreateProcessA, RecordingCreateProcessA),
          wait_(&OsCalls::WaitForSingleObject, RecordingWait),
          close_(&OsCalls::CloseHandle, RecordingCloseHandle) {
        g_seen = Seen();
        g_realCreate = &create_;
    }
    ~Runner() override { g_realCreate = nullptr; }

    OsOverride<decltype(OsCalls::CreateProcessA)> create_;
    OsOverride<decltype(OsCalls::WaitForSingleObject)> wait_;
    OsOverride<decltype(OsCalls::CloseHandle)> close_;
};

TEST_F(Runner, RunsThroughTheInterpreterAndReturnsItsExitCode) {
    testing::internal::CaptureStdout();
    int code = RunCommand("exit 7");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(code, 7);
    EXPECT_EQ(g_seen.line, "cmd /d /c \"exit 7\"");
    EXPECT_TRUE(g_seen.asExpected);
    std::vector<std::string> order = {"create", "wait infinite", "close process", "close thread"};
    EXPECT_EQ(g_seen.calls, order);
}

// 247 characters give a 259-character line and run; 248 start nothing.
TEST_F(Runner, LengthLimit) {
    std::string fits = "exit 7" + std::string(241, ' ');
    ASSERT_EQ(fits.size(), 247u);
    EXPECT_EQ(RunCommand(fits.c_str()), 7);
    EXPECT_EQ(g_seen.line.size(), 259u);
    g_seen = Seen();
    std::string over = fits + " ";
    EXPECT_EQ(RunCommand(over.c_str()), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(g_seen.creates, 0);
    EXPECT_TRUE(g_seen.calls.empty());
}

TEST_F(Runner, EmptyCommand) {
    EXPECT_EQ(RunCommand(""), 0);
    EXPECT_EQ(g_seen.line, "cmd /d /c \"\"");
    EXPECT_EQ(g_seen.calls.size(), 4u);
}

// Quotes, ampersands and redirections are the interpreter's to act on: the
// stand-in shows what reached it.
TEST_F(Runner, QuotesAndAmpersandsReachTheInterpreterUntouched) {
    TempDir pkg;
    MakePackage(pkg.path(), "");
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(pkg.path().c_str()));
    std::string command = "mervane.exe /l \"a b\" & mervane.exe x^&y 2>err.txt";
    int code = RunCommand(command.c_str());
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(g_seen.line, "cmd /d /c \"" + command + "\"");
    std::vector<std::string> arrived = {"REFUSED: mervane.exe /l \"a b\" ", "REFUSED: mervane.exe x&y "};
    EXPECT_EQ(ReadTrace(pkg.path()), arrived);
    EXPECT_NE(ReadFileBytes(pkg / "err.txt").find("mervane: refused"), std::string::npos);
    EXPECT_EQ(code, 2) << "the exit code of the last command run";
}

TEST_F(Runner, InterpreterThatCannotStart) {
    OsOverride fail(&OsCalls::CreateProcessA, FailingCreateProcessA);
    testing::internal::CaptureStdout();
    int code = RunCommand("exit 7");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the runner prints nothing";
    EXPECT_EQ(code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(g_seen.creates, 1);
    EXPECT_TRUE(g_seen.calls.empty()) << "no wait, no handle to close";
}

TEST_F(Runner, ExitCodeThatCannotBeRead) {
    OsOverride fail(&OsCalls::GetExitCodeProcess, FailingGetExitCodeProcess);
    EXPECT_EQ(RunCommand("exit 7"), ERROR_ACCESS_DENIED);
    std::vector<std::string> order = {"create", "wait infinite", "exit code", "close process", "close thread"};
    EXPECT_EQ(g_seen.calls, order);
}

}  // namespace

// qvLogger with real files: version.id in a temporary current directory, the
// result log under a temporary system drive, the clock fixed.
#include "osoverride.h"
#include "resultlog/qvlogger.h"
#include "resultlog/resultrecord.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <io.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// 7 March 2004, 09:05:07 in the morning.
void WINAPI FixedLocalTime(LPSYSTEMTIME t) {
    SYSTEMTIME fixed = {2004, 3, 0, 7, 9, 5, 7, 0};
    *t = fixed;
}

const char kExample[] = "03-07-2004 09:05:07,Update=Sample Driver Update,New=2.04.11,Status=Unknown,ReturnCode=28 \r\n";

class ResultLog : public testing::Test {
protected:
    void SetUp() override {
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        savedCwd_ = cwd;
        _putenv(("SYSTEMDRIVE=" + drive_.path()).c_str());
        ASSERT_TRUE(SetCurrentDirectoryA(pkg_.path().c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedCwd_.c_str());
        _putenv("SYSTEMDRIVE=C:");
    }

    // Runs qvLogger with the fixed clock; its console output in out.
    int Log(int code, std::string* out = nullptr) {
        OsOverride<decltype(&::GetLocalTime)> clock(&OsCalls::GetLocalTime, FixedLocalTime);
        testing::internal::CaptureStdout();
        int r = qvLogger(code);
        std::string text = testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return r;
    }
    std::string LogFile() const { return drive_ / "QVLOG\\QV.log"; }

    TempDir drive_{"drive"};
    TempDir pkg_{"pkg"};
    std::string savedCwd_;
};

struct VersionRow {
    const char* name;
    std::string file;
    std::string update;
    std::string newValue;
};

void PrintTo(const VersionRow& r, std::ostream* os) { *os << r.name; }

const std::string k127(127, 'u');

const VersionRow kVersions[] = {
    {"crlf", "Sample Driver Update\r\n2.04.11\r\n", "Sample Driver Update", "2.04.11"},
    {"lf_no_final_end", "Sample Driver Update\n2.04.11", "Sample Driver Update", "2.04.11"},
    {"three_lines", "Sample Driver Update\r\n2.04.11\r\nthird\r\n", "Sample Driver Update", "2.04.11"},
    {"blanks_and_commas_kept", " Drv, v=2 \r\n\t1.0 \r\n", " Drv, v=2 ", "\t1.0 "},
    {"one_line", "Sample Driver Update\r\n", "Sample Driver Update", ""},
    {"empty", "", "", ""},
    {"empty_first_line", "\r\n2.04.11\r\n", "", "2.04.11"},
    // The second read continues in the long first line.
    {"first_line_130", k127 + "abc\r\n2.04.11\r\n", k127, "abc"},
    {"first_line_127", k127 + "\r\n2.04.11\r\n", k127, ""},
    {"first_line_126", std::string(126, 'u') + "\r\n2.04.11\r\n", std::string(126, 'u'), "2.04.11"},
};

class VersionFile : public ResultLog, public testing::WithParamInterface<VersionRow> {};

// The log directory is missing: made, and the file holds exactly our line.
TEST_P(VersionFile, ValuesReachTheRecord) {
    const VersionRow& r = GetParam();
    WriteFileBytes(pkg_ / "version.id", r.file);
    EXPECT_EQ(Log(28), 0);
    EXPECT_EQ(ReadFileBytes(LogFile()), "03-07-2004 09:05:07,Update=" + r.update + ",New=" + r.newValue +
                                            ",Status=Unknown,ReturnCode=28 \r\n");
}

INSTANTIATE_TEST_SUITE_P(Table, VersionFile, testing::ValuesIn(kVersions),
                         [](const testing::TestParamInfo<VersionRow>& i) { return std::string(i.param.name); });

TEST_F(ResultLog, EmptyLogDirectoryGetsTheFile) {
    MakeDirs(drive_ / "QVLOG");
    WriteFileBytes(pkg_ / "version.id", "Sample Driver Update\r\n2.04.11\r\n");
    EXPECT_EQ(Log(28), 0);
    EXPECT_EQ(ReadFileBytes(LogFile()), kExample);
}

// A last line without its end (left by a crash) stays as it is; ours
// starts on a line of its own.
TEST_F(ResultLog, EarlierLinesKeptAndLineAppended) {
    MakeDirs(drive_ / "QVLOG");
    const std::string earlier = "01-01-2003 10:00:00,Update=a,New=b,Status=Success,ReturnCode=0 \r\nno end";
    WriteFileBytes(LogFile(), earlier);
    WriteFileBytes(drive_ / "QVLOG\\other.txt", "x");
    WriteFileBytes(pkg_ / "version.id", "Sample Driver Update\r\n2.04.11\r\n");
    EXPECT_EQ(Log(28), 0);
    EXPECT_EQ(Log(0), 0);
    EXPECT_EQ(ReadFileBytes(LogFile()),
              earlier + "\r\n" + kExample +
                  "03-07-2004 09:05:07,Update=Sample Driver Update,New=2.04.11,Status=Success,ReturnCode=0 \r\n");
    EXPECT_EQ(ReadFileBytes(drive_ / "QVLOG\\other.txt"), "x");
}

TEST_F(ResultLog, NoVersionFileTouchesNothing) {
    std::string out;
    EXPECT_EQ(Log(28, &out), 1);
    EXPECT_EQ(out, "qvLogger: Cannot Read Version.id file\n");
    EXPECT_TRUE(ListDir(drive_.path()).empty()) << "no log directory";
}

// The lookup finds the variable whatever the case of its name in the
// environment block.
TEST_F(ResultLog, SystemDriveNameInAnyCase) {
    WriteFileBytes(pkg_ / "version.id", "Sample Driver Update\r\n2.04.11\r\n");
    for (const char* name : {"sYsTeMdRiVe", "systemdrive", "SystemDrive"}) {
        _putenv("SYSTEMDRIVE=");  // removes it, so the next one adds its own spelling
        _putenv((std::string(name) + "=" + drive_.path()).c_str());
        EXPECT_EQ(Log(28), 0) << name;
    }
    EXPECT_EQ(ReadFileBytes(LogFile()), std::string(kExample) + kExample + kExample);
}

const char kLine[] = "03-07-2004 09:05:07,Update=u,New=n,Status=Success,ReturnCode=0 \n";
const std::string kOnDisk = "03-07-2004 09:05:07,Update=u,New=n,Status=Success,ReturnCode=0 \r\n";

// A full disk: the put numbered g_failingPut gets half its text into the
// file, then fails. With g_probePath set, the first put first tries what an
// older vorpkg does, a plain fopen "a+", and notes why it failed.
int g_failingPut = 0;
int g_puts = 0;
const char* g_probePath = nullptr;
unsigned long g_probeError = 0;

int HalfPut(const char* text, FILE* f) {
    if (g_probePath && g_puts == 0) {
        _doserrno = 0;
        FILE* other = fopen(g_probePath, "a+");
        g_probeError = other ? 0 : _doserrno;
        if (other) fclose(other);
    }
    if (++g_puts != g_failingPut) return fputs(text, f);
    (void)fputs(std::string(text, strlen(text) / 2).c_str(), f);
    return EOF;
}

int FailingCut(int, long) { return -1; }
int FailingClose(FILE* f) {
    (void)fclose(f);
    return EOF;
}

// Another run holding the log (writing, sharing only reading) until the
// clock has run releaseAfter ms. The clock starts 3 s before its wrap and
// each sleep lasts a quarter longer than asked, as a sleep of 50 ms takes
// 62.5 ms on a clock ticking every 15.6 ms.
const DWORD kClockStart = 0xFFFFFFFFu - 3000;
HANDLE g_holder = INVALID_HANDLE_VALUE;
DWORD g_now = 0;
DWORD g_releaseAfter = 0;

DWORD WINAPI FakeTickCount() { return g_now; }

void WINAPI SlowSleep(DWORD ms) {
    g_now += ms + ms / 4;
    if (g_now - kClockStart < g_releaseAfter || g_holder == INVALID_HANDLE_VALUE) return;
    CloseHandle(g_holder);
    g_holder = INVALID_HANDLE_VALUE;
}

struct AppendRow {
    const char* name;
    const char* earlier;  // the log before; nullptr: a folder in its place
    int failingPut;       // 0: none
    DWORD heldFor;        // ms another run holds the log; 0: not held
    AppendOutcome outcome;
    std::string after;    // the log after
    DWORD waited;         // ms the clock ran
    bool failingCut = false;
    bool failingClose = false;
    bool secondWriter = false;  // an older vorpkg tries to append meanwhile
};

void PrintTo(const AppendRow& r, std::ostream* os) { *os << r.name; }

const std::string kHalfLine(kLine, strlen(kLine) / 2);

const AppendRow kAppends[] = {
    {"after_fragment", "x,Update=Sample Driver", 0, 0, kAppended, "x,Update=Sample Driver\r\n" + kOnDisk, 0},
    // Whatever reached the file of a failed line is taken back.
    {"put_fails", "a\r\n", 1, 0, kAppendWriteFailed, "a\r\n", 0},
    {"put_after_line_end_fails", "fragment", 2, 0, kAppendWriteFailed, "fragment", 0},
    // Unless that fails too: the piece stays, and says so.
    {"cut_fails", "a\r\n", 1, 0, kAppendPieceLeft, "a\r\n" + kHalfLine, 0, true},
    // The line is in and flushed: a close failing after that is no failed
    // write (a tool retrying on 1 would record the update twice).
    {"close_fails", "a\r\n", 0, 0, kAppended, "a\r\n" + kOnDisk, 0, false, true},
    // The line is held to itself: an older run's plain open is refused.
    {"second_writer_refused", "a\r\n", 0, 0, kAppended, "a\r\n" + kOnDisk, 0, false, false, true},
    // The wait ends by the clock, across its wrap, whatever a sleep lasts.
    {"held_a_while", "", 0, 150, kAppended, kOnDisk, 186},
    {"held_throughout", "", 0, 20000, kAppendOpenFailed, "", 10044},
    // No other run: nothing to wait for.
    {"folder_in_its_place", nullptr, 0, 0, kAppendOpenFailed, "", 0},
};

class RecordAppend : public testing::TestWithParam<AppendRow> {};

TEST_P(RecordAppend, LandsWholeOrNotAtAll) {
    const AppendRow& r = GetParam();
    TempDir dir;
    std::string path = dir / "QV.log";
    r.earlier ? WriteFileBytes(path, r.earlier) : MakeDirs(path);
    if (r.heldFor) g_holder = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
    g_failingPut = r.failingPut;
    g_puts = 0;
    g_probePath = r.secondWriter ? path.c_str() : nullptr;
    g_probeError = 0;
    g_now = kClockStart;
    g_releaseAfter = r.heldFor;
    RecordIo saved = g_recordIo;
    g_recordIo.put = HalfPut;
    if (r.failingCut) g_recordIo.cut = FailingCut;
    if (r.failingClose) g_recordIo.close = FailingClose;
    {
        OsOverride<decltype(&::Sleep)> sleep(&OsCalls::Sleep, SlowSleep);
        OsOverride<decltype(&::GetTickCount)> clock(&OsCalls::GetTickCount, FakeTickCount);
        EXPECT_EQ(AppendRecordLine(path.c_str(), kLine, (dir / "aside").c_str()), r.outcome);
    }
    g_recordIo = saved;
    g_probePath = nullptr;
    if (g_holder != INVALID_HANDLE_VALUE) CloseHandle(g_holder);
    g_holder = INVALID_HANDLE_VALUE;
    EXPECT_EQ(g_now - kClockStart, r.waited);
    if (r.secondWriter) {
        EXPECT_EQ(g_probeError, static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    }
    if (r.earlier) {
        EXPECT_EQ(ReadFileBytes(path), r.after);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RecordAppend, testing::ValuesIn(kAppends),
                         [](const testing::TestParamInfo<AppendRow>& i) { return std::string(i.param.name); });

// A log that is there but cannot be judged before the stream's open (its
// security not to be read) is not written to: only a missing one is left
// to that open to make.
decltype(OsCalls::CreateFileA) g_realCreateFile;

HANDLE WINAPI JudgingOpenRefused(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD how,
                                 DWORD flags, HANDLE tmpl) {
    if (access == READ_CONTROL) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return g_realCreateFile(name, access, share, sa, how, flags, tmpl);
}

TEST(RecordAppendJudged, LogThatCannotBeJudgedIsNotWrittenTo) {
    TempDir dir;
    std::string path = dir / "QV.log";
    WriteFileBytes(path, "a\r\n");
    OsOverride<decltype(OsCalls::CreateFileA)> refused(&OsCalls::CreateFileA, JudgingOpenRefused);
    g_realCreateFile = refused.saved();
    EXPECT_EQ(AppendRecordLine(path.c_str(), kLine, (dir / "aside").c_str()), kAppendOpenFailed);
    EXPECT_EQ(ReadFileBytes(path), "a\r\n");
}

// While the line is written, the log folder cannot be renamed away: the put
// tries, as another user would, and notes why it failed.
std::string g_renameFrom;
DWORD g_renameError = 0;

int RenamingPut(const char* text, FILE* f) {
    if (!g_renameFrom.empty() && g_renameError == 0)
        g_renameError = MoveFileA(g_renameFrom.c_str(), (g_renameFrom + "-moved").c_str()) ? 0 : GetLastError();
    return fputs(text, f);
}

TEST_F(ResultLog, LogFolderHeldWhileTheLineIsWritten) {
    WriteFileBytes(pkg_ / "version.id", "Sample Driver Update\r\n2.04.11\r\n");
    g_renameFrom = drive_ / "QVLOG";
    g_renameError = 0;
    RecordIo saved = g_recordIo;
    g_recordIo.put = RenamingPut;
    EXPECT_EQ(Log(28), 0);
    g_recordIo = saved;
    g_renameFrom.clear();
    EXPECT_EQ(g_renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadFileBytes(LogFile()), kExample);
    EXPECT_TRUE(MoveFileA((drive_ / "QVLOG").c_str(), (drive_ / "QVLOG-moved").c_str())) << "let go after";
}

// Ends the process inside the call; the message moved to standard error so
// that the death test can see it.
void WriteEndsProcess(const char* systemDrive) {
    if (systemDrive) {
        _putenv((std::string("SYSTEMDRIVE=") + systemDrive).c_str());
    } else {
        _putenv("SYSTEMDRIVE=");
    }
    fflush(stdout);
    _dup2(_fileno(stderr), _fileno(stdout));
    WriteResultRecord("03-07-2004", "09:05:07", "u", "n", 0);
}

TEST(ResultLogDeath, NoUsableSystemDrive) {
    std::string tooLong = "C:\\" + std::string(112, 'd');  // 115 characters
    EXPECT_EXIT(WriteEndsProcess(nullptr), testing::ExitedWithCode(1), "Log File Creation Failed!");
    EXPECT_EXIT(WriteEndsProcess(tooLong.c_str()), testing::ExitedWithCode(1), "Log File Creation Failed!");
    _putenv("SYSTEMDRIVE=C:");
}

// Cut back or not, the run ends the same way; only what stays differs.
TEST(ResultLogDeath, WriteFailureEndsTheRun) {
    // A fixed folder: the dying child runs this body again, and a TempDir
    // would be another one there.
    const std::string drive = "C:\\vorpkg-tests\\write-failure-drive";
    for (bool cutFails : {false, true}) {
        SCOPED_TRACE(cutFails ? "cut fails" : "cut back");
        RemoveTree(drive);
        MakeDirs(drive);
        g_failingPut = 1;
        g_puts = 0;
        RecordIo saved = g_recordIo;
        g_recordIo.put = HalfPut;
        if (cutFails) g_recordIo.cut = FailingCut;
        EXPECT_EXIT(WriteEndsProcess(drive.c_str()), testing::ExitedWithCode(1), "Log File Write Failed!");
        g_recordIo = saved;
        EXPECT_EQ(ReadFileBytes(drive + "\\QVLOG\\QV.log"), cutFails ? kHalfLine : "");
    }
    RemoveTree(drive);
    _putenv("SYSTEMDRIVE=C:");
}

// A log folder that cannot be ours: one owned by an ordinary account (ours
// renamed away and theirs made), or one that would be made open to all. Nothing
// is written, and no folder is made open.
BOOL WINAPI UsersOwner(PSECURITY_DESCRIPTOR, PSID* owner, LPBOOL defaulted) {
    static PSID users = nullptr;
    if (users == nullptr) ConvertStringSidToSidA("S-1-5-32-545", &users);
    *owner = users;
    *defaulted = FALSE;
    return users != nullptr;
}

BOOL WINAPI FailingInitializeAcl(PACL, DWORD, DWORD) { return FALSE; }

BOOL WINAPI FailingSetSecurity(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST(ResultLogDeath, LogFolderNotOursIsNotWrittenTo) {
    enum Kind { kForeignOwner, kCannotBuild, kCannotProtect };
    struct Row {
        Kind kind;
        const char* message;
    };
    const char kNotPrivate[] = "Unable to make the result log folder private.\\s+Log File Creation Failed!";
    const Row rows[] = {{kForeignOwner, "Result log refused, owned by BUILTIN\\\\Users: C:\\\\vorpkg-tests\\\\"
                                        "foreign-folder-drive\\\\QVLOG\\s+Log File Creation Failed!"},
                        {kCannotBuild, kNotPrivate},
                        // open to all (mode 0777), and it cannot be made private
                        {kCannotProtect, kNotPrivate}};
    const std::string drive = "C:\\vorpkg-tests\\foreign-folder-drive";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        RemoveTree(drive);
        MakeDirs(row.kind == kCannotBuild ? drive : drive + "\\QVLOG");
        if (row.kind == kCannotProtect) OnHost("chmod 0777 '" + WinToHost(drive + "\\QVLOG") + "'");
        OsOverride<decltype(&::GetSecurityDescriptorOwner)> owner(
            &OsCalls::GetSecurityDescriptorOwner, row.kind == kForeignOwner ? UsersOwner : g_os.GetSecurityDescriptorOwner);
        OsOverride<decltype(&::InitializeAcl)> acl(&OsCalls::InitializeAcl,
                                                   row.kind == kCannotBuild ? FailingInitializeAcl : g_os.InitializeAcl);
        OsOverride<decltype(&::SetKernelObjectSecurity)> protect(
            &OsCalls::SetKernelObjectSecurity, row.kind == kCannotProtect ? FailingSetSecurity : g_os.SetKernelObjectSecurity);
        EXPECT_EXIT(WriteEndsProcess(drive.c_str()), testing::ExitedWithCode(1), row.message);
        EXPECT_EQ(ListTree(drive), row.kind == kCannotBuild ? std::vector<std::string>{}
                                                            : std::vector<std::string>{"QVLOG\\"});
    }
    RemoveTree(drive);
    _putenv("SYSTEMDRIVE=C:");
}

}  // namespace

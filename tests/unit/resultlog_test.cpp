// qvLogger with real files: version.id in a temporary current directory, the
// result log under a temporary system drive, the clock fixed.
#include "osoverride.h"
#include "resultlog/qvlogger.h"
#include "resultlog/resultrecord.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <io.h>

#include <cstdio>
#include <cstdlib>
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

TEST_F(ResultLog, EarlierLinesKeptAndLineAppended) {
    MakeDirs(drive_ / "QVLOG");
    const std::string earlier = "01-01-2003 10:00:00,Update=a,New=b,Status=Success,ReturnCode=0 \r\nno end";
    WriteFileBytes(LogFile(), earlier);
    WriteFileBytes(drive_ / "QVLOG\\other.txt", "x");
    WriteFileBytes(pkg_ / "version.id", "Sample Driver Update\r\n2.04.11\r\n");
    EXPECT_EQ(Log(28), 0);
    EXPECT_EQ(Log(0), 0);
    EXPECT_EQ(ReadFileBytes(LogFile()),
              earlier + kExample +
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

}  // namespace

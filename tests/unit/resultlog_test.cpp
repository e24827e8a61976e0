// qvLogger with real files: version.id in a temporary current directory, the
// result log under a temporary system drive, the clock fixed.
#include "osoverride.h"
#include "resultlog/qvlogger.h"
#include "resultlog/resultrecord.h"
#include "winfs.h"

#include <gtest/gtest.h>

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
        UseSystemDrive(drive_.path());
        ASSERT_TRUE(SetCurrentDirectoryA(pkg_.path().c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedCwd_.c_str());
        _putenv("SYSTEMDRIVE=C:");
    }
    static void UseSystemDrive(const std::string& value) { _putenv(("SYSTEMDRIVE=" + value).c_str()); }

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

// "\QVLOG\QV.log" after 114 characters fills the 128-character path exactly.
TEST_F(ResultLog, LongestSystemDriveValue) {
    std::string drive = drive_.path() + "\\";
    drive += std::string(114 - drive.size(), 'd');
    MakeDirs(drive);
    UseSystemDrive(drive);
    WriteFileBytes(pkg_ / "version.id", "Sample Driver Update\r\n2.04.11\r\n");
    EXPECT_EQ(Log(28), 0);
    EXPECT_EQ(ReadFileBytes(drive + "\\QVLOG\\QV.log"), kExample);
}

// Values come in from the caller unchanged; a long pair is still one line.
TEST_F(ResultLog, WriteResultRecordDirectly) {
    std::string value(127, 'v');
    EXPECT_EQ(WriteResultRecord("65535-65535-65535", "00:00:00", value.c_str(), "a,b", -5), 0);
    EXPECT_EQ(ReadFileBytes(LogFile()),
              "65535-65535-65535 00:00:00,Update=" + value + ",New=a,b,Status=Unknown,ReturnCode=-5 \r\n");
}

}  // namespace

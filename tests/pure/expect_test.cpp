// The model of a run that the self-test and the acceptance matrix check
// vorpkg against, against runs its README describes line by line.
#include "selftest/expect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char kDir[] = "C:\\QVTabd0.tmp\\";
const std::string kSafeInf = "mervane.exe /l C:\\QVTabd0.tmp\\VOR.LOG /s /noreboot /i C:\\QVTabd0.tmp\\zorvad.inf /oisafe12";
const std::string kSafeSys = "mervane.exe /l C:\\QVTabd0.tmp\\VOR.LOG /s /noreboot /i C:\\QVTabd0.tmp\\zorvad.sys /oisafe12";
const std::string kNowdp = "mervane.exe /l C:\\QVTabd0.tmp\\VOR.LOG /s /noreboot /i C:\\QVTabd0.tmp\\zorvad.sys /oinowdp";

const ToolLog kClean = {"clean", false, false, true, 0};
const ToolLog kDriver = {"driver", false, true, true, 28};
const ToolLog kBoth = {"both", true, true, true, 30};
const ToolLog kNone = {"none", false, false, false, 1};

struct Documented {
    const char* name;
    Procedure procedure;
    ToolLog log;
    bool utility;
    bool noVersionId;
    Lines console;
    Lines trace;
    int code;
};

void PrintTo(const Documented& r, std::ostream* os) { *os << r.name; }

const Documented kRuns[] = {
    // The README's example: staged on 2003, the driver back-level.
    {"win2003_driver", kProcedureWin2k, kDriver, true, false,
     {"Win2k command to run is [" + kSafeInf + "]", "THE DRIVER IS BACKLEVEL", "about to run [" + kNowdp + "]",
      "Return Code from vorpkg is 28"},
     {kSafeInf, kNowdp}, 28},
    // NT 4.0 runs the last command once more, unannounced: the first twice
    // when nothing is back-level, the /oinowdp one twice when the driver is;
    // it has no BIOS line.
    {"nt40_clean", kProcedureNt, kClean, true, false,
     {"WinNT command to run is [" + kSafeSys + "]", "Return Code from vorpkg is 0"}, {kSafeSys, kSafeSys}, 0},
    {"nt40_both", kProcedureNt, kBoth, true, false,
     {"WinNT command to run is [" + kSafeSys + "]", "THE DRIVER IS BACKLEVEL", "about to run [" + kNowdp + "]",
      "Return Code from vorpkg is 30"},
     {kSafeSys, kNowdp, kNowdp}, 30},
    {"win2k_both", kProcedureWin2k, kBoth, true, false,
     {"Win2k command to run is [" + kSafeInf + "]", "THE BIOS IS BACKLEVEL", "THE DRIVER IS BACKLEVEL",
      "about to run [" + kNowdp + "]", "Return Code from vorpkg is 30"},
     {kSafeInf, kNowdp}, 30},
    {"nt40_no_new_log", kProcedureNt, kNone, true, false,
     {"WinNT command to run is [" + kSafeSys + "]", "Update utility left no new log: C:\\QVTabd0.tmp\\VOR.LOG",
      "Return Code from vorpkg is 1"},
     {kSafeSys, kSafeSys}, 1},
    // The command line comes first, as always; nothing runs.
    {"win2k_no_utility", kProcedureWin2k, kDriver, false, false,
     {"Win2k command to run is [" + kSafeInf + "]", "Update utility not found: C:\\QVTabd0.tmp\\mervane.exe",
      "Return Code from vorpkg is 1"},
     {}, 1},
    {"winxp", kProcedureNone, kDriver, true, false, {"Return Code from vorpkg is 9"}, {}, 9},
    // No version.id: no record, the code as it was.
    {"win2k_no_version_id", kProcedureWin2k, kClean, true, true,
     {"Win2k command to run is [" + kSafeInf + "]", "qvLogger: Cannot Read Version.id file",
      "Return Code from vorpkg is 0"},
     {kSafeInf}, 0},
};

class ExpectedRuns : public testing::TestWithParam<Documented> {};

TEST_P(ExpectedRuns, AsDocumented) {
    const Documented& r = GetParam();
    static ExpectedRun e;
    ExpectUpdate(r.procedure, kDir, r.log, r.utility, r.noVersionId, &e);
    Lines console, trace;
    for (size_t i = 0; i < e.consoleCount; ++i) console.push_back(ExpectedLine(e.console, i));
    for (size_t i = 0; i < e.traceCount; ++i) trace.push_back(ExpectedLine(e.trace, i));
    EXPECT_TRUE(e.fits);
    EXPECT_EQ(console, r.console);
    EXPECT_EQ(trace, r.trace);
    EXPECT_EQ(e.code, r.code);
}

INSTANTIATE_TEST_SUITE_P(Readme, ExpectedRuns, testing::ValuesIn(kRuns),
                         [](const testing::TestParamInfo<Documented>& i) { return i.param.name; });

// The record's rest, and its stamp: local, on a 24-hour clock, between the
// times read before and after the run.
TEST(ExpectedRecord, RestAndStamp) {
    char rest[100];
    ASSERT_TRUE(RecordRest(rest, sizeof rest, "Sample Driver Update", "2.04.11", 28));
    EXPECT_STREQ(rest, ",Update=Sample Driver Update,New=2.04.11,Status=Unknown,ReturnCode=28 \r\n");
    ASSERT_TRUE(RecordRest(rest, sizeof rest, "a,b", "1", 0));
    EXPECT_STREQ(rest, ",Update=a,b,New=1,Status=Success,ReturnCode=0 \r\n");
    EXPECT_FALSE(RecordRest(rest, 20, "Sample Driver Update", "2.04.11", 0));

    const struct {
        const char* stamp;
        const char* before;
        const char* after;
        bool within;
    } stamps[] = {
        {"03-07-2004 13:05:07", "03-07-2004 13:05:06", "03-07-2004 13:05:09", true},
        {"03-07-2004 13:05:06", "03-07-2004 13:05:06", "03-07-2004 13:05:06", true},
        {"01-01-2005 00:00:01", "12-31-2004 23:59:59", "01-01-2005 00:00:02", true},  // a new year
        {"03-07-2004 01:05:07", "03-07-2004 13:05:06", "03-07-2004 13:05:09", false},  // a 12-hour clock
        {"03-07-2004 12:05:07", "03-07-2004 13:05:06", "03-07-2004 13:05:09", false},  // UTC, an hour behind
        {"3-7-2004 13:05:07", "03-07-2004 13:05:06", "03-07-2004 13:05:09", false},
        {"03-07-2004 13:05", "03-07-2004 13:05:06", "03-07-2004 13:05:09", false},
    };
    for (const auto& s : stamps) EXPECT_EQ(StampWithin(s.stamp, s.before, s.after), s.within) << s.stamp;
}

}  // namespace

// The result log as whole runs leave it, C:\QVLOG\QV.log of the test
// prefix, compared before and after each run.
#include "process.h"
#include "record.h"
#include "winfs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <thread>

namespace {

const char kVersionId[] = "Sample Driver Update\r\n2.04.11\r\n";
const char kFailed[] = "Log File Creation Failed!";

// Wine gives every process SystemDrive=C:, whatever the parent's block
// says, so these runs use the machine's own log and compare it.
const char kLog[] = "C:\\QVLOG\\QV.log";

std::string MachineLog() {
    std::string bytes = ReadFileBytes(kLog);
    return bytes == "<missing>" ? "" : bytes;
}

RunOptions InPlace(const TempDir& pkg, const char* winver = "winxp") {
    RunOptions opts;
    opts.winver = winver;
    opts.startDir = pkg.path();
    return opts;
}

// An in-place run on Windows XP: nothing runs, the line carries 9. The
// environment spells the name "SystemDrive": found all the same.
TEST(ResultLogRun, InPlaceRunAppendsToTheMachinesLog) {
    TempDir pkg;
    WriteFileBytes(pkg / "version.id", kVersionId);
    std::string before = MachineLog();
    std::string dayBefore = Today();
    RunResult r = RunVorpkg(InPlace(pkg));
    EXPECT_EQ(r.exitCode, 9);
    ASSERT_FALSE(r.lines().empty());
    EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 9");
    std::string after = MachineLog();
    ASSERT_EQ(after.compare(0, before.size(), before), 0) << "earlier lines kept";
    std::string added = after.substr(before.size());
    EXPECT_TRUE(IsRecord(added, ",Update=Sample Driver Update,New=2.04.11,Status=Unknown,ReturnCode=9 \r\n"));
    std::string date = added.substr(0, 10);
    EXPECT_TRUE(date == dayBefore || date == Today()) << date;
}

TEST(ResultLogRun, NoVersionFileLeavesTheLogAndRunsOn) {
    TempDir pkg;
    std::string before = MachineLog();
    RunResult r = RunVorpkg(InPlace(pkg));
    EXPECT_EQ(r.exitCode, 9);
    std::vector<std::string> expected = {"qvLogger: Cannot Read Version.id file", "Return Code from vorpkg is 9"};
    EXPECT_EQ(r.lines(), expected);
    EXPECT_EQ(MachineLog(), before);
}

// A directory where the log file belongs for the guard's life; the
// machine's log is moved aside and put back.
class LogBlocked {
public:
    LogBlocked() {
        MakeDirs("C:\\QVLOG");
        hadLog_ = FileExists(kLog);
        if (hadLog_) {
            EXPECT_TRUE(MoveFileA(kLog, kSaved));
        }
        EXPECT_TRUE(CreateDirectoryA(kLog, nullptr));
    }
    ~LogBlocked() {
        RemoveDirectoryA(kLog);
        if (hadLog_) {
            EXPECT_TRUE(MoveFileA(kSaved, kLog));
        }
    }

private:
    static constexpr const char* kSaved = "C:\\QVLOG\\QV.log.kept-by-test";
    bool hadLog_ = false;
};

// The run ends at once with 1: no final line, whatever the update's result.
TEST(ResultLogRun, LogThatCannotBeOpenedEndsTheRun) {
    TempDir pkg;
    WriteFileBytes(pkg / "version.id", kVersionId);
    for (const char* winver : {"winxp", "win2k"}) {
        RunResult r;
        {
            LogBlocked blocked;
            r = RunVorpkg(InPlace(pkg, winver));
        }
        EXPECT_EQ(r.exitCode, 1) << winver;
        ASSERT_FALSE(r.lines().empty()) << winver;
        EXPECT_EQ(r.lines().back(), kFailed) << winver << "\n" << r.out;
        EXPECT_EQ(r.out.find("Return Code"), std::string::npos) << winver;
    }
}

// Ten runs at once appending to the same log, a few rounds (a lost line
// shows only now and then): ten whole lines each time, none lost or mixed
// into another. The log ends in a line cut off earlier: it stays, and the
// next line starts on a line of its own.
TEST(ResultLogRun, ConcurrentRunsEachLandWhole) {
    TempDir pkg;
    WriteFileBytes(pkg / "version.id", kVersionId);
    RunVorpkg(InPlace(pkg));  // the log is there
    const std::string fragment = "03-07-2004 09:05:07,Update=Sample Driver";
    WriteFileBytes(kLog, MachineLog() + fragment);
    for (int round = 0; round < 3; ++round) {
        std::string before = MachineLog();
        std::vector<int> codes(10);
        std::vector<std::thread> runs;
        for (int& code : codes) runs.emplace_back([&pkg, &code] { code = RunVorpkg(InPlace(pkg)).exitCode; });
        for (std::thread& t : runs) t.join();
        EXPECT_EQ(codes, std::vector<int>(10, 9));
        std::string after = MachineLog();
        ASSERT_EQ(after.compare(0, before.size(), before), 0) << "earlier lines kept";
        std::vector<std::string> lines = Lines(after.substr(before.size()));
        if (round == 0) {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.front(), "") << "the cut-off line ended first";
            lines.erase(lines.begin());
        }
        EXPECT_EQ(lines.size(), 10u) << round;
        for (const std::string& line : lines)
            EXPECT_TRUE(IsRecord(line, ",Update=Sample Driver Update,New=2.04.11,Status=Unknown,ReturnCode=9 "));
    }
}

// A staged run writes no record, whether or not the staging works.
TEST(ResultLogRun, StagedRunAppendsNothing) {
    TempDir start;
    TempDir pkg;
    WriteFileBytes(pkg / "version.id", kVersionId);
    WriteFileBytes(start / "version.id", kVersionId);
    std::string before = MachineLog();
    RunOptions opts = InPlace(start, "win2k");
    opts.args = {pkg.path()};
    RunResult r = RunVorpkg(opts);
    EXPECT_EQ(MachineLog(), before) << r.out;
}

}  // namespace

namespace {

// The machine's log folder is moved aside for the guard's life: each row
// puts its own in its place, as a hostile local user would have left it.
class LogFolderReplaced {
public:
    LogFolderReplaced() {
        MakeDirs("C:\\QVLOG");
        EXPECT_TRUE(MoveFileA("C:\\QVLOG", kSaved));
    }
    ~LogFolderReplaced() {
        OnHost("rm -rf '" + WinToHost("C:\\QVLOG") + "' '" + WinToHost("C:\\QVLOG-elsewhere") + "'");
        EXPECT_TRUE(MoveFileA(kSaved, "C:\\QVLOG"));
    }

private:
    static constexpr const char* kSaved = "C:\\QVLOG.kept-by-test";
};

const char kForged[] = "03-07-2004 09:05:07,Update=Sample Driver Update,New=2.04.11,Status=Success,ReturnCode=0 \r\n";

struct ForgeRow {
    const char* name;
    bool logFolder;     // a folder of ours with a log holding a forged line first
    const char* setUp;  // then this, on the host, in the prefix's drive_c
    const char* said;   // made private, saying so; null: refused, saying this
    const char* refused = nullptr;
};

void RunForgeRows(const std::vector<ForgeRow>& rows) {
    TempDir pkg;
    WriteFileBytes(pkg / "version.id", kVersionId);
    const std::string driveC = WinToHost("C:\\");
    for (const ForgeRow& row : rows) {
        SCOPED_TRACE(row.name);
        LogFolderReplaced replaced;
        if (row.logFolder) {
            MakeDirs("C:\\QVLOG");
            WriteFileBytes(kLog, kForged);
        }
        OnHost("cd '" + driveC + "' && " + row.setUp);
        RunResult r = RunVorpkg(InPlace(pkg));
        if (!row.said) {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.lines(), (std::vector<std::string>{row.refused, kFailed})) << r.out;
            EXPECT_EQ(MachineLog(), row.logFolder ? kForged : "") << "nothing written";
            continue;
        }
        EXPECT_EQ(r.exitCode, 9);
        EXPECT_EQ(r.lines(), (std::vector<std::string>{row.said, "Return Code from vorpkg is 9"}));
        std::string after = MachineLog();
        ASSERT_EQ(after.compare(0, strlen(kForged), kForged), 0);
        EXPECT_TRUE(IsRecord(after.substr(strlen(kForged)),
                             ",Update=Sample Driver Update,New=2.04.11,Status=Unknown,ReturnCode=9 \r\n"));
        // Nobody else may write there any more.
        OnHost("cd '" + driveC + "' && test $(( 0$(stat -c %a QVLOG) & 2 )) -eq 0 && " +
               "test $(( 0$(stat -c %a QVLOG/QV.log) & 2 )) -eq 0");
    }
}

// A log folder or file that another account can rewrite, or that leads
// elsewhere, never takes a record: refused, or made private first.
TEST(ResultLogRun, NothingForgeableIsWrittenTo) {
    RunForgeRows({
        {"folder_a_link", false, "mkdir QVLOG-elsewhere && ln -s QVLOG-elsewhere QVLOG", nullptr,
         "Result log refused, it is a link: C:\\QVLOG"},
        {"file_a_second_name", true, "mkdir QVLOG-elsewhere && ln QVLOG/QV.log QVLOG-elsewhere/other", nullptr,
         "Result log refused, it has more than one name: C:\\QVLOG\\QV.log"},
        {"folder_open_to_all", true, "chmod 0777 QVLOG", "Result log folder made private: C:\\QVLOG"},
    });
}

// A log that others could write to may hold forged lines: it is set aside
// whole, under a name the console gives, and a new log holds only the new
// line. Nobody else may write to the new one.
TEST(ResultLogRun, LogOpenToOthersIsSetAside) {
    TempDir pkg;
    WriteFileBytes(pkg / "version.id", kVersionId);
    LogFolderReplaced replaced;
    MakeDirs("C:\\QVLOG");
    WriteFileBytes(kLog, kForged);
    OnHost("chmod 0666 '" + WinToHost(kLog) + "'");
    RunResult r = RunVorpkg(InPlace(pkg));
    EXPECT_EQ(r.exitCode, 9);
    ASSERT_EQ(r.lines().size(), 2u) << r.out;
    const std::string said = "Result log was open to other accounts, set aside as: ";
    ASSERT_EQ(r.lines()[0].compare(0, said.size(), said), 0) << r.out;
    std::string aside = r.lines()[0].substr(said.size());
    EXPECT_EQ(ReadFileBytes(aside), kForged);
    EXPECT_TRUE(IsRecord(MachineLog(), ",Update=Sample Driver Update,New=2.04.11,Status=Unknown,ReturnCode=9 \r\n"))
        << MachineLog();
    // The name carries the record's date and time, colons as dashes.
    std::string stamp = MachineLog().substr(0, 19);
    for (char& c : stamp) c = c == ' ' || c == ':' ? '-' : c;
    EXPECT_EQ(aside, "C:\\QVLOG\\QV-open-to-others-set-aside-" + stamp + ".log");
    OnHost("test $(( 0$(stat -c %a '" + WinToHost(kLog) + "') & 2 )) -eq 0");
}

// A log planted by another account (played by a Unix owner other than
// root, which the 32-bit Wine's namespace cannot map), named as Wine names
// an owner it has no account for.
TEST(ResultLogOwner, AnotherAccountsLogIsNotWrittenTo) {
    RunForgeRows({{"file_of_another_account", true, "chown 1000 QVLOG/QV.log", nullptr,
                   "Result log refused, owned by NT AUTHORITY\\ANONYMOUS LOGON: C:\\QVLOG\\QV.log"}});
}

}  // namespace

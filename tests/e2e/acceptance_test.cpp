// Acceptance: whole runs of vorpkg.exe with the stand-in utility in the
// package, for every Windows version, way of starting and tool log. Each run
// is checked from outside: console text, exit code, what the utility was
// asked to do, the result log, the staging areas and the folders it touched.
#include "package.h"
#include "process.h"
#include "record.h"
#include "selftest/expect.h"
#include "treefs.h"
#include "winfs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

struct Version {
    const char* name;
    Procedure procedure;
};

const Version kVersions[] = {
    {"nt40", kProcedureNt},    {"win2k", kProcedureWin2k}, {"win2003", kProcedureWin2k},
    {"winxp", kProcedureNone}, {"win10", kProcedureNone},
};

// In place from a package folder; staged from the CD (E:) into C:\QVT*.tmp;
// in place from the root of the CD.
enum Mode { kInPlace, kStaged, kDriveRoot };

const struct {
    Mode mode;
    const char* name;
} kModes[] = {{kInPlace, "inplace"}, {kStaged, "staged"}, {kDriveRoot, "root"}};

// What the utility's first run writes to its log, and what that means.
const ToolLog kLogs[] = {
    {"clean", false, false, true, 0}, {"driver", false, true, true, 28}, {"bios", true, false, true, 29},
    {"both", true, true, true, 30},   {"none", false, false, false, 1},
};

struct Row {
    std::string name;
    Version version;
    Mode mode;
    ToolLog log;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

std::vector<Row> AllRows() {
    std::vector<Row> rows;
    for (const Version& v : kVersions)
        for (const auto& m : kModes)
            for (const ToolLog& l : kLogs)
                rows.push_back({std::string(v.name) + "_" + m.name + "_" + l.kind, v, m.mode, l});
    return rows;
}

const char kResultLog[] = "C:\\QVLOG\\QV.log";
const std::vector<std::string> kPackage = {"mervane.exe", "mervane.scenario", "version.id", "zorvad.inf",
                                           "zorvad.sys"};

std::string ResultLog() {
    std::string bytes = ReadFileBytes(kResultLog);
    return bytes == "<missing>" ? "" : bytes;
}

std::set<std::string> QvtEntries() {
    std::set<std::string> out;
    for (const std::string& n : ListDir("C:"))
        if (n.size() >= 3 && _strnicmp(n.c_str(), "QVT", 3) == 0) out.insert(n);
    return out;
}

// The console and the utility's command lines that a row calls for, with
// dir the work directory (ending in a backslash): the self-test's model.
int Expect(const Row& row, const std::string& dir, std::vector<std::string>& console,
           std::vector<std::string>& trace) {
    static ExpectedRun e;
    ExpectUpdate(row.version.procedure, dir.c_str(), row.log, true, false, &e);
    for (size_t i = 0; i < e.consoleCount; ++i) console.push_back(ExpectedLine(e.console, i));
    for (size_t i = 0; i < e.traceCount; ++i) trace.push_back(ExpectedLine(e.trace, i));
    return e.code;
}

class Acceptance : public testing::TestWithParam<Row> {};

TEST_P(Acceptance, Run) {
    const Row& row = GetParam();
    const bool staged = row.mode == kStaged;
    const std::string scenario = std::string("first ") + row.log.kind + "\nrerun clean\n";
    TempDir start;  // the package folder in place; an empty start folder when staged
    std::string package = row.mode == kInPlace ? start.path() : CdDir();
    MakePackage(package, scenario);
    std::vector<std::string> packageBytes = TreeWithContents(package);

    RunOptions opts;
    opts.winver = row.version.name;
    opts.startDir = row.mode == kDriveRoot ? "E:\\" : start.path();
    if (staged) opts.args = {"E:\\"};

    std::set<std::string> qvtBefore = QvtEntries();
    std::string logBefore = ResultLog();
    std::string dayBefore = Today();
    RunResult r = RunVorpkg(opts);
    std::string dayAfter = Today();

    // Staging areas: exactly one new one when staged, none in place.
    std::vector<std::string> added;
    for (const std::string& n : QvtEntries())
        if (!qvtBefore.count(n)) added.push_back(n);
    std::string workFolder = package;  // where the utility ran and wrote
    if (staged) {
        ASSERT_EQ(added.size(), 1u) << r.out;
        workFolder = "C:\\" + added[0];
        EXPECT_TRUE(DirExists(workFolder)) << workFolder;
        EXPECT_TRUE(added[0].size() > 7 && _stricmp(added[0].c_str() + added[0].size() - 4, ".tmp") == 0)
            << added[0];
    } else {
        EXPECT_EQ(added.size(), 0u) << "in place stages nothing";
    }
    std::string dir = row.mode == kDriveRoot ? "E:\\\\" : workFolder + "\\";

    std::vector<std::string> console, trace;
    const int code = Expect(row, dir, console, trace);
    EXPECT_EQ(r.exitCode, code);
    EXPECT_EQ(r.lines(), console) << r.out;
    EXPECT_EQ(ReadTrace(workFolder), trace);

    // The work folder: the package as it was, plus what the utility wrote.
    std::vector<std::string> expectedFiles = kPackage;
    if (row.version.procedure != kProcedureNone) {
        expectedFiles.push_back("mervane.trace");
        if (row.log.written) expectedFiles.push_back("VOR.LOG");
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(ListTree(workFolder), expectedFiles);
    std::vector<std::string> workBytes = TreeWithContents(workFolder);
    for (const std::string& e : packageBytes)
        EXPECT_NE(std::find(workBytes.begin(), workBytes.end(), e), workBytes.end()) << "changed or lost: " << e;
    if (staged) {
        EXPECT_EQ(TreeWithContents(CdDir()), packageBytes) << "the CD is only read";
        EXPECT_TRUE(ListDir(start.path()).empty()) << "nothing is written to the start folder";
    }

    // The result log: one line more in place, untouched when staged.
    std::string logAfter = ResultLog();
    ASSERT_EQ(logAfter.compare(0, logBefore.size(), logBefore), 0) << "earlier lines kept";
    std::string appended = logAfter.substr(logBefore.size());
    if (staged) {
        EXPECT_EQ(appended, "") << "a staged run writes no record";
    } else {
        char rest[200];
        ASSERT_TRUE(RecordRest(rest, sizeof rest, "Sample Driver Update", "2.04.11", code));
        EXPECT_TRUE(IsRecord(appended, rest, {dayBefore, dayAfter}));
    }

    if (staged) RemoveTree(workFolder);
    if (row.mode != kInPlace) EmptyDir(CdDir());
}

INSTANTIATE_TEST_SUITE_P(Matrix, Acceptance, testing::ValuesIn(AllRows()),
                         [](const testing::TestParamInfo<Row>& i) { return i.param.name; });

}  // namespace

// Whole runs of vorpkg.exe under Wine: how the arguments are taken. Every
// version, way of starting and tool log is in the acceptance matrix.
#include "package.h"
#include "process.h"
#include "winfs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

std::set<std::string> RootEntries() {
    std::vector<std::string> v = ListDir("C:");
    return std::set<std::string>(v.begin(), v.end());
}

std::vector<std::string> Added(const std::set<std::string>& before, const std::set<std::string>& after) {
    std::vector<std::string> out;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(out));
    return out;
}

// Two arguments are ignored: an in-place run in the start directory.
TEST(Arguments, TwoAreTreatedAsNone) {
    TempDir pkg;
    auto before = RootEntries();
    RunOptions opts;
    opts.winver = "winxp";
    opts.startDir = pkg.path();
    opts.args = {pkg.path(), "second"};
    RunResult r = RunVorpkg(opts);
    EXPECT_EQ(r.exitCode, 9);
    ASSERT_FALSE(r.lines().empty());
    EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 9");
    EXPECT_TRUE(Added(before, RootEntries()).empty()) << "no staging area for two arguments";
}

// One argument that is no usable directory: never stage the start directory.
TEST(Arguments, OneThatIsNotADirectoryIsRefused) {
    TempDir start;
    WriteFileBytes(start / "a-file", "x");
    for (std::string arg : {std::string("C:\\no\\such\\package"), start / "a-file", std::string("")}) {
        auto before = RootEntries();
        RunOptions opts;
        opts.winver = "win2k";
        opts.startDir = start.path();
        opts.args = {arg};
        RunResult r = RunVorpkg(opts);
        EXPECT_EQ(r.exitCode, 1) << arg;
        std::vector<std::string> expected = {"Unable to use package directory: " + arg,
                                             "Copying update files to the hard drive failed."};
        EXPECT_EQ(r.lines(), expected) << arg;
        EXPECT_TRUE(Added(before, RootEntries()).empty()) << "nothing staged for " << arg;
    }
}

// "/?" or "-?" alone: the usage, exit 1, no staging area and no result-log
// line (that not even the temporary name is made: the unit tests).
TEST(Arguments, QuestionMarkAloneGivesTheUsage) {
    for (const char* ask : {"/?", "-?"}) {
        TempDir start;
        auto before = RootEntries();
        std::string logBefore = ReadFileBytes("C:\\QVLOG\\QV.log");
        RunOptions opts;
        opts.winver = "winxp";
        opts.startDir = start.path();
        opts.args = {ask};
        RunResult r = RunVorpkg(opts);
        EXPECT_EQ(r.exitCode, 1) << ask;
        EXPECT_EQ(r.out.rfind("vorpkg applies the driver update", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("  vorpkg FOLDER   staged:"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Return Code"), std::string::npos) << r.out;
        EXPECT_TRUE(Added(before, RootEntries()).empty()) << ask;
        EXPECT_EQ(ReadFileBytes("C:\\QVLOG\\QV.log"), logBefore) << ask;
    }
}

// The interpreter is the system folder's cmd.exe: one planted in the work
// directory, or beside vorpkg.exe, never runs (the stand-in, as cmd.exe,
// would leave a trace of its command line next to itself).
TEST(Interpreter, OnlyTheSystemsRuns) {
    TempDir pkg, beside;
    MakePackage(pkg.path(), "");
    ASSERT_TRUE(CopyFileA(MervaneExe().c_str(), (pkg / "cmd.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(VorpkgExe().c_str(), (beside / "vorpkg.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(MervaneExe().c_str(), (beside / "cmd.exe").c_str(), FALSE));
    for (bool fromBeside : {false, true}) {
        SCOPED_TRACE(fromBeside ? "beside vorpkg.exe" : "in the work directory");
        DeleteFileA((pkg / "mervane.trace").c_str());
        RunOptions opts;
        opts.startDir = pkg.path();
        if (fromBeside) opts.program = beside / "vorpkg.exe";
        RunResult r = RunVorpkg(opts);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        std::vector<std::string> trace = ReadTrace(pkg.path());
        ASSERT_FALSE(trace.empty()) << "the utility ran";
        for (const std::string& line : trace) EXPECT_EQ(line.find("cmd /d /c"), std::string::npos) << line;
        EXPECT_FALSE(FileExists(beside / "mervane.trace"));
    }
}

// A package folder others may write to (mode 0777: Everyone full control)
// is said before anything runs, in place and staged; one they may only read
// (0755) is not. The run goes on as ever.
TEST(PackageFolder, OpenToOthersIsSaid) {
    const std::string said = "Package folder is open to other accounts: ";
    for (const char* mode : {"0777", "0755"}) {
        for (bool staged : {false, true}) {
            SCOPED_TRACE(std::string(mode) + (staged ? " staged" : " in place"));
            TempDir pkg, start;
            OnHost(std::string("chmod ") + mode + " '" + WinToHost(pkg.path()) + "'");
            RunOptions opts;
            opts.winver = "winxp";
            opts.startDir = staged ? start.path() : pkg.path();
            if (staged) opts.args = {pkg.path()};
            RunResult r = RunVorpkg(opts);
            ASSERT_FALSE(r.lines().empty());
            bool open = strcmp(mode, "0777") == 0;
            EXPECT_EQ(r.lines().front() == said + pkg.path(), open) << r.out;
            EXPECT_EQ(r.out.find(said) != std::string::npos, open) << r.out;
            EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 9");
        }
    }
}

}  // namespace

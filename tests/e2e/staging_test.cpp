// Staged runs of vorpkg.exe from the update CD (drive E:): the copy in a new
// C:\QVT*.tmp, left in place, and no result-log line.
#include "process.h"
#include "treefs.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace {

const char kResultLog[] = "C:\\QVLOG\\QV.log";

std::vector<std::string> NewAreas(const std::vector<std::string>& before) {
    std::vector<std::string> added;
    for (const std::string& n : StagingAreas())
        if (std::find(before.begin(), before.end(), n) == before.end()) added.push_back("C:\\" + n);
    return added;
}

struct StagedRow {
    const char* winver;
    int exitCode;
};

void PrintTo(const StagedRow& r, std::ostream* os) { *os << r.winver; }

class StagedFromCd : public testing::TestWithParam<StagedRow> {};

TEST_P(StagedFromCd, CopiesTheCdToANewStagingArea) {
    const StagedRow& row = GetParam();
    EmptyDir(CdDir());
    MakeTree(CdDir(), {"zorvad.sys", "zorvad.inf", "version.id", "docs\\", "docs\\readme.txt", "docs\\a\\",
                       "docs\\a\\b\\", "docs\\a\\b\\deep.txt"});
    SetFileAttributesA((CdDir() + "\\zorvad.sys").c_str(), FILE_ATTRIBUTE_READONLY);
    std::vector<std::string> cd = TreeWithContents(CdDir());
    std::string logBefore = ReadFileBytes(kResultLog);
    TempDir start;
    RunOptions opts;
    opts.winver = row.winver;
    opts.startDir = start.path();
    opts.args = {"E:\\"};
    // Two runs in a row: two staging areas under different names.
    std::vector<std::string> areas;
    for (int run = 0; run < 2; ++run) {
        std::vector<std::string> before = StagingAreas();
        RunResult r = RunVorpkg(opts);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.out;
        ASSERT_FALSE(r.lines().empty());
        EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is " + std::to_string(row.exitCode));
        std::vector<std::string> added = NewAreas(before);
        ASSERT_EQ(added.size(), 1u) << r.out;
        areas.push_back(added[0]);
        // Everything on the CD is in the copy; the update may add its own files.
        std::vector<std::string> copy = TreeWithContents(added[0]);
        for (const std::string& e : cd) EXPECT_NE(std::find(copy.begin(), copy.end(), e), copy.end()) << e;
        EXPECT_EQ(GetFileAttributesA((added[0] + "\\zorvad.sys").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    }
    EXPECT_NE(areas[0], areas[1]);
    EXPECT_EQ(ReadFileBytes(kResultLog), logBefore) << "a staged run writes no record";
    for (const std::string& a : areas) {
        EmptyDir(a);
        RemoveDirectoryA(a.c_str());
    }
    EmptyDir(CdDir());
}

INSTANTIATE_TEST_SUITE_P(Wine, StagedFromCd,
                         testing::Values(StagedRow{"winxp", 9}),
                         [](const testing::TestParamInfo<StagedRow>& i) { return std::string(i.param.winver); });

// A name of three dots is listed but cannot be read: a real copy failure two
// levels down, reported by every level and by the run.
TEST(StagedFromCdFailure, UnreadableFileTwoLevelsDown) {
    EmptyDir(CdDir());
    MakeTree(CdDir(), {"a.txt", "sub\\", "sub\\b.txt", "sub\\deeper\\", "sub\\deeper\\z.txt", "sub\\x.txt", "z.txt"});
    MakeDotsFile(CdDir() + "\\sub\\deeper");
    std::string logBefore = ReadFileBytes(kResultLog);
    std::vector<std::string> before = StagingAreas();
    TempDir start;
    RunOptions opts;
    opts.winver = "win2k";
    opts.startDir = start.path();
    opts.args = {"E:\\"};
    RunResult r = RunVorpkg(opts);
    EXPECT_EQ(r.exitCode, 1);
    std::vector<std::string> expected = {"Unable to copy files from QV CD to hard drive.",
                                         "Unable to copy sub-directory update files to the hard drive.",
                                         "Unable to copy sub-directory update files to the hard drive.",
                                         "Unable to copy update files to the hard drive.",
                                         "Copying update files to the hard drive failed."};
    EXPECT_EQ(r.lines(), expected);
    EXPECT_EQ(ReadFileBytes(kResultLog), logBefore);
    std::vector<std::string> added = NewAreas(before);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(TreeWithContents(added[0]),
              (std::vector<std::string>{"a.txt=a.txt", "sub\\", "sub\\b.txt=sub\\b.txt", "sub\\deeper\\"}));
    EmptyDir(added[0]);
    RemoveDirectoryA(added[0].c_str());
    EmptyDir(CdDir());
}

// The system drive's root is never staged: it would be copied into itself
// until the drive is full. Not as typed, nor under another drive letter (as
// subst gives: drive X: of the tests' prefix), the same folder by identity.
TEST(StagedFromSystemRoot, IsRefusedBeforeAnythingIsMade) {
    std::string logBefore = ReadFileBytes(kResultLog);
    std::vector<std::string> before = StagingAreas();
    TempDir start;
    RunOptions opts;
    opts.winver = "win2k";
    opts.startDir = start.path();
    for (const char* arg : {"C:\\", "c:\\", "C:\\WINDOWS\\..", "X:\\"}) {
        opts.args = {arg};
        RunResult r = RunVorpkg(opts);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_EQ(r.lines(), (std::vector<std::string>{std::string("Package directory is the system drive root: ") + arg,
                                                       "Copying update files to the hard drive failed."}));
    }
    EXPECT_TRUE(NewAreas(before).empty());
    EXPECT_EQ(ReadFileBytes(kResultLog), logBefore);
}

}  // namespace

namespace {

// A CD folder that is a link (a junction or mount point on a share; a
// symbolic link under Wine) leads anywhere: the package is refused whole
// before anything is made, and nothing it leads to is copied or run.
TEST(StagedRun, PackageWithALinkIsRefused) {
    EmptyDir(CdDir());
    MakeTree(CdDir(), {"zorvad.sys", "zorvad.inf", "version.id", "docs\\"});
    TempDir outside;
    MakeTree(outside.path(), {"mervane.dll"});
    OnHost("ln -s '" + WinToHost(outside.path()) + "' '" + WinToHost(CdDir() + "\\docs\\linked") + "'");
    std::vector<std::string> before = StagingAreas();
    TempDir start;
    RunOptions opts;
    opts.startDir = start.path();
    opts.args = {"E:\\"};
    RunResult r = RunVorpkg(opts);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lines(), (std::vector<std::string>{"Package holds a link: E:\\docs\\linked",
                                                   "Copying update files to the hard drive failed."}));
    EXPECT_EQ(NewAreas(before), std::vector<std::string>{}) << "nothing made";
    RemoveTree(CdDir() + "\\docs\\linked");
    EmptyDir(CdDir());
}

}  // namespace

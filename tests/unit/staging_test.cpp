// Staging: the free-space gate, the staging directory, and staged runs of
// the whole run sequence in-process with the staging name moved into a
// test folder.
#include "run/updaterun.h"
#include "staging/staging.h"
#include "treefs.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct FreeSpace {
    const char* name;
    BOOL ok;
    DWORD sectorsPerCluster, bytesPerSector, freeClusters;
    const char* message;  // null: staging goes ahead
};

FreeSpace g_space;
std::string g_rootAsked;

BOOL WINAPI FakeGetDiskFreeSpaceA(LPCSTR root, LPDWORD spc, LPDWORD bps, LPDWORD free, LPDWORD total) {
    g_rootAsked = root;
    if (!g_space.ok) return FALSE;
    *spc = g_space.sectorsPerCluster;
    *bps = g_space.bytesPerSector;
    *free = g_space.freeClusters;
    *total = 0xFFFFFFFF;
    return TRUE;
}

const char kTooSmall[] = "Not enough disk space to copy necessary files.";

const FreeSpace kSpaces[] = {
    {"exactly_2000000", TRUE, 1, 1, 2000000, nullptr},
    {"one_byte_short", TRUE, 1, 1, 1999999, kTooSmall},
    {"all_three_counts", TRUE, 8, 500, 500, nullptr},
    {"all_three_counts_short", TRUE, 3, 1, 666666, kTooSmall},
    {"no_free_clusters", TRUE, 8, 512, 0, kTooSmall},
    {"product_of_2_pow_32", TRUE, 8, 4096, 131072, nullptr},       // 0 in 32 bits
    {"product_of_2_pow_64", TRUE, 0x80000000, 0x80000000, 4, nullptr},  // 0 in 64 bits
    {"query_fails", FALSE, 0, 0, 0, "Unable to determine if enough free space to copy files."},
};

void PrintTo(const FreeSpace& r, std::ostream* os) { *os << r.name; }

class FreeSpaceGate : public testing::TestWithParam<FreeSpace> {};

TEST_P(FreeSpaceGate, StagesOnlyWithEnoughRoom) {
    g_space = GetParam();
    TempDir pkg, root;
    MakeTree(pkg.path(), {"zorvad.sys"});
    std::string staging = root / "QVTSTAGE.tmp\\";
    OsOverride<decltype(OsCalls::GetDiskFreeSpaceA)> space(&OsCalls::GetDiskFreeSpaceA, FakeGetDiskFreeSpaceA);
    testing::internal::CaptureStdout();
    int rc = StagePackage("C:\\", pkg.path().c_str(), staging.c_str());
    std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
    EXPECT_EQ(g_rootAsked, "C:\\");
    if (g_space.message) {
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(lines, std::vector<std::string>{g_space.message});
        EXPECT_TRUE(ListDir(root.path()).empty()) << "nothing is created";
    } else {
        EXPECT_EQ(rc, 0);
        EXPECT_TRUE(lines.empty());
        EXPECT_EQ(TreeWithContents(root / "QVTSTAGE.tmp"), TreeWithContents(pkg.path()));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FreeSpaceGate, testing::ValuesIn(kSpaces),
                         [](const testing::TestParamInfo<FreeSpace>& i) { return std::string(i.param.name); });

// Whole staged runs in-process: Windows XP (so no update runs), the
// staging name made in a test folder instead of the drive root.
std::string g_nameDir;    // where staging names are made
std::string g_takenName;  // when set, the name handed out, already in use
decltype(OsCalls::GetTempFileNameA) g_realTempName;

UINT WINAPI MovedGetTempFileNameA(LPCSTR, LPCSTR prefix, UINT unique, LPSTR buf) {
    if (g_takenName.empty()) return g_realTempName(g_nameDir.c_str(), prefix, unique, buf);
    strcpy(buf, g_takenName.c_str());
    return 1;
}

BOOL WINAPI XpGetVersionExA(LPOSVERSIONINFOA info) {
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    return TRUE;
}

struct StagedRun {
    int rc;
    std::vector<std::string> lines;
    std::string area;  // the staging area made, "" if none
};

StagedRun RunStaged(const std::string& package, FsRecorder& rec, const std::string& failCopyOf = "") {
    TempDir sysDrive;
    std::string drive = "SYSTEMDRIVE=" + sysDrive.path();
    _putenv(drive.c_str());
    char before[MAX_PATH], after[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    std::vector<std::string> namesBefore = ListDir(g_nameDir);
    StagedRun r;
    {
        OsOverride<decltype(OsCalls::GetTempFileNameA)> name(&OsCalls::GetTempFileNameA, MovedGetTempFileNameA);
        OsOverride<decltype(OsCalls::GetVersionExA)> version(&OsCalls::GetVersionExA, XpGetVersionExA);
        g_realTempName = name.saved();
        rec.log.failCopyOf = failCopyOf;
        testing::internal::CaptureStdout();
        char arg0[] = "vorpkg";
        std::string arg1 = package;
        char* argv[] = {arg0, &arg1[0], nullptr};
        r.rc = UpdateRun(2, argv);
        r.lines = Lines(testing::internal::GetCapturedStdout());
    }
    _putenv("SYSTEMDRIVE=C:");
    GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_STREQ(after, before) << "the start directory is restored";
    EXPECT_FALSE(DirExists(sysDrive / "QVLOG")) << "a staged run writes no record";
    for (const std::string& n : ListDir(g_nameDir))
        if (std::find(namesBefore.begin(), namesBefore.end(), n) == namesBefore.end()) {
            EXPECT_TRUE(r.area.empty()) << "one staging area per run";
            EXPECT_EQ(n.rfind("QVT", 0), 0u) << n;
            r.area = g_nameDir + "\\" + n;
        }
    return r;
}

const char kFinalXp[] = "Return Code from vorpkg is 9";

TEST(StagedRunInProcess, CopiesThePackageAndRunsFromTheCopy) {
    TempDir pkg, names;
    g_nameDir = names.path();
    g_takenName.clear();
    MakeTree(pkg.path(), {"zorvad.sys", "sub\\", "sub\\deep\\", "sub\\deep\\x.txt"});
    FsRecorder rec;
    StagedRun r = RunStaged(pkg.path(), rec);
    EXPECT_EQ(r.rc, 9);
    EXPECT_EQ(r.lines, std::vector<std::string>{kFinalXp});
    ASSERT_FALSE(r.area.empty());
    EXPECT_EQ(TreeWithContents(r.area), TreeWithContents(pkg.path()));
    // Two runs, two areas.
    StagedRun again = RunStaged(pkg.path(), rec);
    EXPECT_EQ(again.rc, 9);
    EXPECT_NE(again.area, r.area);
    EXPECT_TRUE(DirExists(r.area) && DirExists(again.area));
}

// The package folder holds the staging area, as the drive root does.
TEST(StagedRunInProcess, PackageHoldingTheStagingAreaEnds) {
    TempDir pkg;
    g_nameDir = pkg.path();
    g_takenName.clear();
    MakeTree(pkg.path(), {"zorvad.sys", "sub\\", "sub\\x.txt"});
    std::vector<std::string> package = TreeWithContents(pkg.path());
    FsRecorder rec;
    StagedRun r = RunStaged(pkg.path(), rec);
    EXPECT_EQ(r.rc, 9);
    EXPECT_EQ(r.lines, std::vector<std::string>{kFinalXp});
    ASSERT_FALSE(r.area.empty());
    EXPECT_EQ(TreeWithContents(r.area), package);
}

TEST(StagedRunInProcess, CopyFailingTwoLevelsDownKeepsWhatWasCopied) {
    TempDir pkg, names;
    g_nameDir = names.path();
    g_takenName.clear();
    MakeTree(pkg.path(), {"1.txt", "2sub\\", "2sub\\deeper\\", "2sub\\deeper\\1ok.txt", "2sub\\deeper\\2bad.txt",
                          "2sub\\deeper\\3no.txt", "3no.txt"});
    FsRecorder rec;
    StagedRun r = RunStaged(pkg.path(), rec, "2bad.txt");
    EXPECT_EQ(r.rc, 1);
    std::vector<std::string> expected = {"Unable to copy files from QV CD to hard drive.",
                                         "Unable to copy sub-directory update files to the hard drive.",
                                         "Unable to copy sub-directory update files to the hard drive.",
                                         "Unable to copy update files to the hard drive.",
                                         "Copying update files to the hard drive failed."};
    EXPECT_EQ(r.lines, expected);
    ASSERT_FALSE(r.area.empty());
    std::vector<std::string> kept = {"1.txt=1.txt", "2sub\\", "2sub\\deeper\\",
                                     "2sub\\deeper\\1ok.txt=2sub\\deeper\\1ok.txt"};
    EXPECT_EQ(TreeWithContents(r.area), kept);
}

TEST(StagedRunInProcess, StagingNameAlreadyTaken) {
    TempDir pkg, names;
    g_nameDir = names.path();
    g_takenName = names / "QVT1234.tmp";
    MakeTree(pkg.path(), {"zorvad.sys"});
    MakeTree(names.path(), {"QVT1234.tmp\\", "QVT1234.tmp\\other.txt"});
    FsRecorder rec;
    StagedRun r = RunStaged(pkg.path(), rec);
    g_takenName.clear();
    EXPECT_EQ(r.rc, 1);
    std::vector<std::string> expected = {"Unable to create temporary directory!",
                                         "Copying update files to the hard drive failed."};
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(TreeWithContents(names.path()),
              (std::vector<std::string>{"QVT1234.tmp\\", "QVT1234.tmp\\other.txt=QVT1234.tmp\\other.txt"}));
}

}  // namespace

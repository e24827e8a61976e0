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
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct FreeSpace {
    const char* name;
    BOOL ok;
    DWORD sectorsPerCluster, bytesPerSector, freeClusters;
    DWORD fileBytes;       // 0: an empty package; else one file of this size
    bool listingBreaks;    // the package's listing ends with a read error
    const char* message;   // null: staging goes ahead
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

BOOL WINAPI BrokenFindNextFileA(HANDLE, LPWIN32_FIND_DATAA) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
}

const char kTooSmall[] = "Not enough disk space to copy necessary files.";
const char kNoSpaceCheck[] = "Unable to determine if enough free space to copy files.";

// The package must fit in whole clusters and leave 2,000,000 bytes.
const FreeSpace kSpaces[] = {
    {"empty_exactly_2000000", TRUE, 1, 1, 2000000, 0, false, nullptr},
    {"empty_one_byte_short", TRUE, 1, 1, 1999999, 0, false, kTooSmall},
    {"empty_all_three_counts_short", TRUE, 3, 1, 666666, 0, false, kTooSmall},
    {"empty_no_free_clusters", TRUE, 8, 512, 0, 0, false, kTooSmall},
    {"empty_product_of_2_pow_32", TRUE, 8, 4096, 131072, 0, false, nullptr},           // 0 in 32 bits
    {"empty_product_of_2_pow_64", TRUE, 0x80000000, 0x80000000, 4, 0, false, nullptr},  // 0 in 64 bits
    // Clusters of 1,000 bytes: a 1-byte file takes 1,000, one of 1,001 takes 2,000.
    {"one_cluster_exactly", TRUE, 2, 500, 2001, 1, false, nullptr},
    {"one_cluster_short", TRUE, 2, 500, 2000, 1, false, kTooSmall},
    {"two_clusters_exactly", TRUE, 2, 500, 2002, 1001, false, nullptr},
    {"two_clusters_short", TRUE, 2, 500, 2001, 1001, false, kTooSmall},
    {"package_larger_than_margin", TRUE, 1, 1, 2100000, 3000000, false, kTooSmall},
    {"package_and_margin_fit", TRUE, 1, 1, 5000000, 3000000, false, nullptr},
    {"listing_error", TRUE, 1, 1, 0xFFFFFFFF, 1, true, kNoSpaceCheck},
    {"query_fails", FALSE, 0, 0, 0, 0, false, kNoSpaceCheck},
};

void PrintTo(const FreeSpace& r, std::ostream* os) { *os << r.name; }

class FreeSpaceGate : public testing::TestWithParam<FreeSpace> {};

TEST_P(FreeSpaceGate, StagesOnlyWithEnoughRoom) {
    g_space = GetParam();
    TempDir pkg, root;
    if (g_space.fileBytes) WriteFileBytes(pkg / "zorvad.sys", std::string(g_space.fileBytes, 'z'));
    char staging[MAX_PATH];
    strcpy(staging, (root / "QVTSTAGE.tmp\\").c_str());
    OsOverride<decltype(OsCalls::GetDiskFreeSpaceA)> space(&OsCalls::GetDiskFreeSpaceA, FakeGetDiskFreeSpaceA);
    OsOverride<decltype(OsCalls::FindNextFileA)> next(
        &OsCalls::FindNextFileA, g_space.listingBreaks ? BrokenFindNextFileA : g_os.FindNextFileA);
    testing::internal::CaptureStdout();
    int rc = StagePackage("C:\\", pkg.path().c_str(), staging);
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

// A staging name taken by another run before ours is made is replaced by a
// new one, up to ten names in all.
struct TakenRow {
    const char* name;
    int taken;         // this many attempts find the name in use
    DWORD otherError;  // nonzero: the first attempt fails with this instead
    int rc;
    int namesMade;     // after the first
};

void PrintTo(const TakenRow& r, std::ostream* os) { *os << r.name; }

int g_attempts;
int g_namesMade;
std::string g_namesIn;
TakenRow g_taken;
decltype(OsCalls::CreateDirectoryA) g_realMkdir;

BOOL WINAPI ContestedCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    if (std::string(path).rfind(g_namesIn + "\\QVT", 0) != 0 || std::string(path).find("\\sub") != std::string::npos)
        return g_realMkdir(path, sa);
    ++g_attempts;
    if (g_taken.otherError) {
        SetLastError(g_taken.otherError);
        return FALSE;
    }
    if (g_attempts <= g_taken.taken) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    return g_realMkdir(path, sa);
}

UINT WINAPI CountedGetTempFileNameA(LPCSTR, LPCSTR, UINT, LPSTR buf) {
    sprintf(buf, "%s\\QVT%d.tmp", g_namesIn.c_str(), ++g_namesMade);
    return 1;
}

class TakenName : public testing::TestWithParam<TakenRow> {};

TEST_P(TakenName, IsReplacedUpToTenTimes) {
    g_taken = GetParam();
    TempDir pkg, names;
    MakeTree(pkg.path(), {"zorvad.sys", "sub\\", "sub\\x.txt"});
    g_namesIn = names.path();
    g_attempts = g_namesMade = 0;
    char staging[MAX_PATH];
    strcpy(staging, (names / "QVT0.tmp\\").c_str());
    OsOverride<decltype(OsCalls::CreateDirectoryA)> mkdir(&OsCalls::CreateDirectoryA, ContestedCreateDirectoryA);
    OsOverride<decltype(OsCalls::GetTempFileNameA)> name(&OsCalls::GetTempFileNameA, CountedGetTempFileNameA);
    g_realMkdir = mkdir.saved();
    testing::internal::CaptureStdout();
    int rc = StagePackage("C:\\", pkg.path().c_str(), staging);
    std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
    EXPECT_EQ(rc, g_taken.rc);
    EXPECT_EQ(g_namesMade, g_taken.namesMade);
    EXPECT_EQ(g_attempts, g_taken.namesMade + 1);
    std::string last = names / ("QVT" + std::to_string(g_namesMade) + ".tmp");
    if (rc == 0) {
        EXPECT_TRUE(lines.empty());
        EXPECT_EQ(std::string(staging), last + "\\") << "the name in use afterwards is the one made";
        EXPECT_EQ(TreeWithContents(last), TreeWithContents(pkg.path()));
    } else {
        EXPECT_EQ(lines, std::vector<std::string>{"Unable to create temporary directory!"});
        EXPECT_TRUE(ListDir(names.path()).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TakenName,
                         testing::Values(TakenRow{"free", 0, 0, 0, 0}, TakenRow{"taken_once", 1, 0, 0, 1},
                                         TakenRow{"taken_nine_times", 9, 0, 0, 9},
                                         TakenRow{"taken_ten_times", 10, 0, 1, 9},
                                         TakenRow{"other_error_is_not_retried", 0, ERROR_ACCESS_DENIED, 1, 0}),
                         [](const testing::TestParamInfo<TakenRow>& i) { return std::string(i.param.name); });

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

const char kCopyFailed[] = "Unable to copy files from QV CD to hard drive.";
const char kNestedFailed[] = "Unable to copy sub-directory update files to the hard drive.";
const char kStagingFailed[] = "Copying update files to the hard drive failed.";

struct StagedRow {
    const char* name;
    std::vector<std::string> package;
    bool areaInPackage;     // staging names are made in the package folder itself
    const char* takenName;  // "" or a name in use that the fake hands out
    const char* failCopyOf;
    int rc;
    std::vector<std::string> lines;
    std::vector<std::string> areaAfter;  // "*" : the whole package
};

void PrintTo(const StagedRow& r, std::ostream* os) { *os << r.name; }

const StagedRow kStagedRuns[] = {
    {"copies_the_package", {"zorvad.sys", "sub\\", "sub\\deep\\", "sub\\deep\\x.txt"}, false, "", "", 9,
     {"Return Code from vorpkg is 9"}, {"*"}},
    // As when the package is the drive root that holds the staging area.
    {"package_holds_the_staging_area", {"zorvad.sys", "sub\\", "sub\\x.txt"}, true, "", "", 9,
     {"Return Code from vorpkg is 9"}, {"*"}},
    {"copy_fails_two_levels_down",
     {"1.txt", "2sub\\", "2sub\\deeper\\", "2sub\\deeper\\1ok.txt", "2sub\\deeper\\2bad.txt", "2sub\\deeper\\3no.txt",
      "3no.txt"},
     false, "", "2bad.txt", 1,
     {kCopyFailed, kNestedFailed, kNestedFailed, "Unable to copy update files to the hard drive.", kStagingFailed},
     {"1.txt=1.txt", "2sub\\", "2sub\\deeper\\", "2sub\\deeper\\1ok.txt=2sub\\deeper\\1ok.txt"}},
    {"staging_name_taken", {"zorvad.sys"}, false, "QVT1234.tmp", "", 1,
     {"Unable to create temporary directory!", kStagingFailed}, {"other.txt=stale"}},
};

class StagedRunInProcess : public testing::TestWithParam<StagedRow> {};

TEST_P(StagedRunInProcess, StagesAndReports) {
    const StagedRow& row = GetParam();
    TempDir pkg, names, sysDrive;
    MakeTree(pkg.path(), row.package);
    std::vector<std::string> package = TreeWithContents(pkg.path());
    g_nameDir = row.areaInPackage ? pkg.path() : names.path();
    g_takenName = *row.takenName ? g_nameDir + "\\" + row.takenName : "";
    if (!g_takenName.empty()) {
        MakeDirs(g_takenName);
        WriteFileBytes(g_takenName + "\\other.txt", "stale");
    }
    std::vector<std::string> namesBefore = ListDir(g_nameDir);
    std::string drive = "SYSTEMDRIVE=" + sysDrive.path();
    _putenv(drive.c_str());
    char before[MAX_PATH], after[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    int rc;
    std::string out;
    {
        FsRecorder rec;
        rec.log.failCopyOf = row.failCopyOf;
        OsOverride<decltype(OsCalls::GetTempFileNameA)> name(&OsCalls::GetTempFileNameA, MovedGetTempFileNameA);
        OsOverride<decltype(OsCalls::GetVersionExA)> version(&OsCalls::GetVersionExA, XpGetVersionExA);
        g_realTempName = name.saved();
        testing::internal::CaptureStdout();
        char arg0[] = "vorpkg";
        std::string arg1 = pkg.path();
        char* argv[] = {arg0, &arg1[0], nullptr};
        rc = UpdateRun(2, argv);
        out = testing::internal::GetCapturedStdout();
    }
    _putenv("SYSTEMDRIVE=C:");
    GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_EQ(rc, row.rc);
    EXPECT_EQ(Lines(out), row.lines);
    EXPECT_STREQ(after, before) << "the start directory is restored";
    EXPECT_FALSE(DirExists(sysDrive / "QVLOG")) << "a staged run writes no record";
    std::string area = g_takenName;
    for (const std::string& n : ListDir(g_nameDir))
        if (std::find(namesBefore.begin(), namesBefore.end(), n) == namesBefore.end()) {
            EXPECT_TRUE(area.empty()) << "one staging area per run";
            EXPECT_EQ(n.rfind("QVT", 0), 0u) << n;
            area = g_nameDir + "\\" + n;
        }
    ASSERT_FALSE(area.empty());
    EXPECT_EQ(TreeWithContents(area), row.areaAfter[0] == "*" ? package : row.areaAfter);
}

INSTANTIATE_TEST_SUITE_P(Table, StagedRunInProcess, testing::ValuesIn(kStagedRuns),
                         [](const testing::TestParamInfo<StagedRow>& i) { return std::string(i.param.name); });

}  // namespace

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
    int moreFiles = 0;     // further files of fileBytes
    int folders = 0;       // empty sub-folders
    bool sizeHigh = false; // the file is listed 4 GiB larger than it is
    bool grows = false;    // a 1-byte file appears once the staging area is made
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

decltype(OsCalls::FindFirstFileA) g_realFindFirst;
decltype(OsCalls::FindNextFileA) g_realFindNext;
decltype(OsCalls::CreateDirectoryA) g_realCreateDir;
std::string g_pkg;

void Enlarged(LPWIN32_FIND_DATAA found) {
    if (strcmp(found->cFileName, "zorvad.sys") == 0) found->nFileSizeHigh += 1;
}

HANDLE WINAPI LargeFindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
    HANDLE h = g_realFindFirst(pattern, found);
    if (h != INVALID_HANDLE_VALUE) Enlarged(found);
    return h;
}

BOOL WINAPI LargeFindNextFileA(HANDLE h, LPWIN32_FIND_DATAA found) {
    BOOL ok = g_realFindNext(h, found);
    if (ok) Enlarged(found);
    return ok;
}

BOOL WINAPI GrowingCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    WriteFileBytes(g_pkg + "\\grown.txt", "g");
    return g_realCreateDir(path, sa);
}

const char kTooSmall[] = "Not enough disk space to copy necessary files.";
const char kNoSpaceCheck[] = "Unable to determine if enough free space to copy files.";

// The package and the staging area's own cluster must fit in whole clusters
// and leave 2,000,000 bytes.
const FreeSpace kSpaces[] = {
    {"empty_exactly_margin_and_area", TRUE, 1, 1, 2000001, 0, false, nullptr},
    {"empty_one_byte_short", TRUE, 1, 1, 2000000, 0, false, kTooSmall},
    {"empty_all_three_counts_short", TRUE, 3, 1, 666666, 0, false, kTooSmall},
    {"empty_no_free_clusters", TRUE, 8, 512, 0, 0, false, kTooSmall},
    {"empty_product_of_2_pow_32", TRUE, 8, 4096, 131072, 0, false, nullptr},           // 0 in 32 bits
    {"empty_product_of_2_pow_64", TRUE, 0x80000000, 0x80000000, 4, 0, false, nullptr},  // 0 in 64 bits
    // Clusters of 1,000 bytes: a 1-byte file takes 1,000, one of 1,001 takes 2,000.
    {"one_cluster_exactly", TRUE, 2, 500, 2002, 1, false, nullptr},
    {"one_cluster_short", TRUE, 2, 500, 2001, 1, false, kTooSmall},
    {"two_clusters_exactly", TRUE, 2, 500, 2003, 1001, false, nullptr},
    {"two_clusters_short", TRUE, 2, 500, 2002, 1001, false, kTooSmall},
    {"package_larger_than_margin", TRUE, 1, 1, 2100000, 3000000, false, kTooSmall},
    {"package_and_margin_fit", TRUE, 1, 1, 5000001, 3000000, false, nullptr},
    {"listing_error", TRUE, 1, 1, 0xFFFFFFFF, 1, true, kNoSpaceCheck},
    {"query_fails", FALSE, 0, 0, 0, 0, false, kNoSpaceCheck},
    // Clusters, not sectors: two 1-byte files take 2,000 bytes, not 1,000.
    {"two_files_in_clusters", TRUE, 2, 500, 2003, 1, false, nullptr, 1},
    {"two_files_in_clusters_short", TRUE, 2, 500, 2002, 1, false, kTooSmall, 1},
    // Each folder takes a cluster.
    {"two_folders_exactly", TRUE, 2, 500, 2003, 0, false, nullptr, 0, 2},
    {"two_folders_short", TRUE, 2, 500, 2002, 0, false, kTooSmall, 0, 2},
    // A file of 4 GiB and a byte: its size's high half counts.
    {"file_over_4_gib", TRUE, 1, 1, 0xFFFFFFFF, 1, false, kTooSmall, 0, 0, true},
    // Grown after the gate: the copy keeps to what the gate found free.
    {"grown_after_gate", TRUE, 2, 500, 2002, 1, false, kTooSmall, 0, 0, false, true},
    {"grown_within_room", TRUE, 2, 500, 2003, 1, false, nullptr, 0, 0, false, true},
};

void PrintTo(const FreeSpace& r, std::ostream* os) { *os << r.name; }

class FreeSpaceGate : public testing::TestWithParam<FreeSpace> {};

TEST_P(FreeSpaceGate, StagesOnlyWithEnoughRoom) {
    g_space = GetParam();
    TempDir pkg, root;
    if (g_space.fileBytes) WriteFileBytes(pkg / "zorvad.sys", std::string(g_space.fileBytes, 'z'));
    for (int i = 0; i < g_space.moreFiles; ++i)
        WriteFileBytes(pkg / ("more" + std::to_string(i)), std::string(g_space.fileBytes, 'm'));
    for (int i = 0; i < g_space.folders; ++i) MakeDirs(pkg / ("dir" + std::to_string(i)));
    g_pkg = pkg.path();
    OsOverride<decltype(OsCalls::FindFirstFileA)> first(
        &OsCalls::FindFirstFileA, g_space.sizeHigh ? LargeFindFirstFileA : g_os.FindFirstFileA);
    g_realFindFirst = first.saved();
    g_realFindNext = g_os.FindNextFileA;
    OsOverride<decltype(OsCalls::FindNextFileA)> large(
        &OsCalls::FindNextFileA, g_space.sizeHigh ? LargeFindNextFileA : g_os.FindNextFileA);
    OsOverride<decltype(OsCalls::CreateDirectoryA)> grow(
        &OsCalls::CreateDirectoryA, g_space.grows ? GrowingCreateDirectoryA : g_os.CreateDirectoryA);
    g_realCreateDir = grow.saved();
    char staging[MAX_PATH];
    strcpy(staging, (root / "QVTSTAGE.tmp\\").c_str());
    OsOverride<decltype(OsCalls::GetDiskFreeSpaceA)> space(&OsCalls::GetDiskFreeSpaceA, FakeGetDiskFreeSpaceA);
    OsOverride<decltype(OsCalls::FindNextFileA)> next(
        &OsCalls::FindNextFileA, g_space.listingBreaks ? BrokenFindNextFileA : g_os.FindNextFileA);
    testing::internal::CaptureStdout();
    int rc = StagePackage("C:\\", pkg.path().c_str(), staging);
    std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
    EXPECT_EQ(g_rootAsked, "C:\\");
    if (g_space.message && g_space.grows) {
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(lines, (std::vector<std::string>{g_space.message, "Unable to copy update files to the hard drive."}));
    } else if (g_space.message) {
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
// new one made the same way, up to ten names in all.
int g_taken, g_attempts, g_namesMade;
DWORD g_otherError;
std::string g_namesIn;
decltype(OsCalls::CreateDirectoryA) g_realMkdir;

BOOL WINAPI ContestedCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    bool area = std::string(path).find("\\sub\\") == std::string::npos;
    SetLastError(area && ++g_attempts <= g_taken ? ERROR_ALREADY_EXISTS : g_otherError);
    return GetLastError() == 0 ? g_realMkdir(path, sa) : FALSE;
}

UINT WINAPI CountedGetTempFileNameA(LPCSTR, LPCSTR, UINT, LPSTR buf) {
    sprintf(buf, "%s\\QVT%d.tmp", g_namesIn.c_str(), ++g_namesMade);
    return 1;
}

TEST(TakenName, IsReplacedUpToTenTimes) {
    struct Row {
        int taken;         // attempts that find the name in use
        DWORD otherError;  // every other attempt fails with this (0: none)
        int names;         // names tried in all
    };
    const Row rows[] = {{0, 0, 1}, {1, 0, 2}, {9, 0, 10}, {10, 0, 10}, {0, ERROR_ACCESS_DENIED, 1}};
    OsOverride<decltype(OsCalls::CreateDirectoryA)> mkdir(&OsCalls::CreateDirectoryA, ContestedCreateDirectoryA);
    OsOverride<decltype(OsCalls::GetTempFileNameA)> name(&OsCalls::GetTempFileNameA, CountedGetTempFileNameA);
    g_realMkdir = mkdir.saved();
    for (const Row& r : rows) {
        TempDir pkg, names;
        MakeTree(pkg.path(), {"zorvad.sys", "sub\\", "sub\\x.txt"});
        g_namesIn = names.path();
        g_taken = r.taken;
        g_otherError = r.otherError;
        g_attempts = g_namesMade = 0;
        char staging[MAX_PATH];
        CountedGetTempFileNameA(nullptr, nullptr, 0, staging);
        strcat(staging, "\\");
        testing::internal::CaptureStdout();
        int rc = StagePackage("C:\\", pkg.path().c_str(), staging);
        std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
        bool staged = r.taken < 10 && !r.otherError;
        std::string last = names / ("QVT" + std::to_string(r.names) + ".tmp");
        EXPECT_EQ(g_namesMade, r.names) << r.taken;
        EXPECT_EQ(rc, staged ? 0 : 1) << r.taken;
        EXPECT_EQ(lines, staged ? std::vector<std::string>{}
                                : std::vector<std::string>{"Unable to create temporary directory!"});
        EXPECT_EQ(std::string(staging), last + "\\") << "the work directory is the name made last";
        EXPECT_EQ(TreeWithContents(last), staged ? TreeWithContents(pkg.path()) : std::vector<std::string>{});
    }
}

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

namespace {

// Another Windows process tries to rename the staging area away, as a local
// user would to put a folder of their own in its place: while the package
// is copied in, and after staging, while the utility would run from it.
std::string g_areaToMove;
int g_moveExit = 0;
decltype(OsCalls::CopyFileA) g_realCopy;

// cmd's move, as another user would type it: its exit code, 0 when moved.
int MoveByAnotherProcess(const std::string& from) {
    return system(("move \"" + from + "\" \"" + from + "-moved\" >nul 2>&1").c_str());
}

BOOL WINAPI MovingCopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (!g_areaToMove.empty()) {
        g_moveExit = MoveByAnotherProcess(g_areaToMove);
        g_areaToMove.clear();
    }
    return g_realCopy(from, to, failIfExists);
}

TEST(HeldStagingArea, AnotherProcessCannotRenameIt) {
    TempDir pkg, root;
    WriteFileBytes(pkg / "zorvad.sys", "z");
    WriteFileBytes(pkg / "mervane.exe", "m");
    const std::string area = root / "QVTHELD.tmp";
    char staging[MAX_PATH];
    strcpy(staging, (area + "\\").c_str());
    {
        OsOverride<decltype(OsCalls::CopyFileA)> copy(&OsCalls::CopyFileA, MovingCopyFileA);
        g_realCopy = copy.saved();
        g_areaToMove = area;
        testing::internal::CaptureStdout();
        EXPECT_EQ(StagePackage("C:\\", pkg.path().c_str(), staging), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
    EXPECT_TRUE(g_areaToMove.empty()) << "the copy ran";
    EXPECT_NE(g_moveExit, 0) << "renamed during the copy";
    EXPECT_NE(MoveByAnotherProcess(area), 0) << "renamed after staging";
    EXPECT_FALSE(DirExists(area + "-moved"));
    EXPECT_EQ(TreeWithContents(area), TreeWithContents(pkg.path())) << "the package copied whole, in place";
}

}  // namespace

namespace {

// Where no file index tells the folders apart (a FAT root, some network
// file systems), the drive root is told by name before anything of it is
// walked: a file made in the root shows in the package. Played as the FAT
// system drive under another letter (X: is C: again) and as a package
// that is not the root.
BOOL WINAPI NoIndexAnywhere(HANDLE, LPBY_HANDLE_FILE_INFORMATION info) {
    memset(info, 0, sizeof *info);
    return TRUE;
}

TEST(NoIdentity, TheRootIsToldByNameBeforeAnythingIsWalked) {
    for (bool root : {true, false}) {
        SCOPED_TRACE(root ? "X:\\, the system drive" : "a package folder");
        TempDir pkg, names;
        WriteFileBytes(pkg / "zorvad.sys", "z");
        g_nameDir = names.path();
        g_takenName.clear();
        std::vector<std::string> rootBefore = ListDir("C:");
        int rc;
        std::string out;
        std::vector<std::string> walked;
        {
            FsRecorder rec;
            OsOverride<decltype(OsCalls::GetFileInformationByHandle)> fat(&OsCalls::GetFileInformationByHandle,
                                                                          NoIndexAnywhere);
            OsOverride<decltype(OsCalls::GetTempFileNameA)> name(
                &OsCalls::GetTempFileNameA, root ? g_os.GetTempFileNameA : MovedGetTempFileNameA);
            OsOverride<decltype(OsCalls::GetVersionExA)> version(&OsCalls::GetVersionExA, XpGetVersionExA);
            g_realTempName = name.saved();
            testing::internal::CaptureStdout();
            char arg0[] = "vorpkg";
            std::string arg1 = root ? "X:\\" : pkg.path();
            char* argv[] = {arg0, &arg1[0], nullptr};
            rc = UpdateRun(2, argv);
            out = testing::internal::GetCapturedStdout();
            for (const std::string& p : rec.log.patterns)
                if (p.size() > 3 && p.compare(p.size() - 3, 3, "*.*") == 0) walked.push_back(p);
        }
        if (root) {
            EXPECT_EQ(rc, 1);
            EXPECT_EQ(Lines(out), (std::vector<std::string>{"Package directory is the system drive root: X:\\",
                                                            kStagingFailed}));
            EXPECT_EQ(walked, std::vector<std::string>{}) << "nothing walked";
            EXPECT_EQ(ListDir("C:"), rootBefore) << "nothing stays in the root";
        } else {
            EXPECT_EQ(rc, 9) << out;
            EXPECT_EQ(ListDir(g_nameDir).size(), 1u) << "staged";
        }
    }
}

// The staging area must be the folder this run made: an older staging area
// (same owner, same DACL) renamed into its place, or a link put there, is
// not copied into or run from.
std::string g_plantIn;

BOOL WINAPI PlantingCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    BOOL made = g_realMkdir(path, sa);
    if (made && g_plantIn == path) WriteFileBytes(std::string(path) + "old.dll", "old");
    return made;
}

DWORD WINAPI StagingAreaIsALink(LPCSTR path) {
    DWORD attributes = GetFileAttributesA(path);
    return g_plantIn.compare(0, g_plantIn.size() - 1, path) == 0 ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                                                                  : attributes;
}

TEST(StagingAreaNotOurs, IsNotUsed) {
    for (bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link in its place" : "an older staging area in its place");
        TempDir pkg, root;
        WriteFileBytes(pkg / "zorvad.sys", "z");
        char staging[MAX_PATH];
        strcpy(staging, (root / "QVTOLD.tmp\\").c_str());
        g_plantIn = staging;
        OsOverride<decltype(OsCalls::CreateDirectoryA)> mkdir(&OsCalls::CreateDirectoryA,
                                                              link ? g_os.CreateDirectoryA : PlantingCreateDirectoryA);
        g_realMkdir = mkdir.saved();
        OsOverride<decltype(OsCalls::GetFileAttributesA)> attributes(
            &OsCalls::GetFileAttributesA, link ? StagingAreaIsALink : g_os.GetFileAttributesA);
        testing::internal::CaptureStdout();
        EXPECT_EQ(StagePackage("C:\\", pkg.path().c_str(), staging), 1);
        EXPECT_EQ(Lines(testing::internal::GetCapturedStdout()),
                  std::vector<std::string>{"Unable to secure the temporary directory."});
        EXPECT_EQ(TreeWithContents(root / "QVTOLD.tmp"),
                  link ? std::vector<std::string>{} : std::vector<std::string>{"old.dll=old"})
            << "nothing copied";
        g_plantIn.clear();
    }
}

}  // namespace

namespace {

// The root probe where no identity is given: the package form is read by
// character, so a name ending in a double-byte character whose trail byte is
// 0x5C (code page 932's 0x95 0x5C) still gets its backslash before the
// probe's name. The lead byte is played, and the probe's pattern noted.
std::string g_probe;

BOOL WINAPI Cp932Lead(BYTE c) { return c == 0x95; }

HANDLE WINAPI NotingFindFirst(LPCSTR pattern, LPWIN32_FIND_DATAA) {
    g_probe = pattern;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

TEST(RootProbe, DoubleByteNameGetsItsBackslash) {
    TempDir root;
    const std::string package = root / "pkg\x95\x5c";
    OsOverride<decltype(OsCalls::IsDBCSLeadByte)> lead(&OsCalls::IsDBCSLeadByte, Cp932Lead);
    OsOverride<decltype(OsCalls::FindFirstFileA)> find(&OsCalls::FindFirstFileA, NotingFindFirst);
    g_probe.clear();
    EXPECT_EQ(CheckNotDriveRoot((root.path() + "\\").c_str(), package.c_str()), kNotTheRoot);
    EXPECT_EQ(g_probe.compare(0, package.size() + 4, package + "\\QVT"), 0) << g_probe;
    EXPECT_TRUE(ListDir(root.path()).empty()) << "the probe's file is gone";
}

}  // namespace

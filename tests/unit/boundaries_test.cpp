// The run sequence's buffers at their limit and one past, through the
// OS-call table: the system directory (256), the staging name with its
// backslash (260), the absolute package directory (261) and an argument no
// directory can have; and the result log path (128) with the longest
// system drive, written for real. Each either fits exactly or is refused.
#include "osoverride.h"
#include "resultlog/resultrecord.h"
#include "run/updaterun.h"
#include "common/privatearea.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What the fakes report, and what they were asked.
std::string g_sysDir;              // empty: the real system directory
std::string g_stagingName;         // the name GetTempFileNameA hands out
std::string g_packageDir;          // empty: the real package directory
std::vector<std::string> g_nameRoots;
std::vector<std::string> g_madeDirs;
std::vector<std::string> g_patterns;
int g_cwdCalls;
decltype(OsCalls::GetSystemDirectoryA) g_realSysDir;
decltype(OsCalls::GetCurrentDirectoryA) g_realCwd;

// As the system answers a buffer that is too small: the size it needs,
// nothing written.
UINT WINAPI FakeGetSystemDirectoryA(LPSTR buf, UINT size) {
    if (g_sysDir.empty()) return g_realSysDir(buf, size);
    if (g_sysDir.size() >= size) return static_cast<UINT>(g_sysDir.size() + 1);
    memcpy(buf, g_sysDir.c_str(), g_sysDir.size() + 1);
    return static_cast<UINT>(g_sysDir.size());
}

UINT WINAPI FakeGetTempFileNameA(LPCSTR root, LPCSTR, UINT, LPSTR buf) {
    g_nameRoots.push_back(root);
    memcpy(buf, g_stagingName.c_str(), g_stagingName.size() + 1);
    return 1;
}

BOOL WINAPI NoDeleteFileA(LPCSTR) { return TRUE; }

// The staging directory is not made for real: nothing lands in C:\.
BOOL WINAPI RecordingCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    g_madeDirs.push_back(path);
    return TRUE;
}

// The staging area, not made for real, is held as a private folder made
// for the run.
std::string g_privateArea;
decltype(OsCalls::CreateFileA) g_realCreateFile;

// The package named by the fake directory query is held as the real one,
// so that its identity is known, as on NTFS.
std::string g_packageHeld;

HANDLE WINAPI StandInCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD how,
                                 DWORD flags, HANDLE tmpl) {
    bool made = std::find(g_madeDirs.begin(), g_madeDirs.end(), path) != g_madeDirs.end();
    if (!g_packageDir.empty() && g_packageDir == path) path = g_packageHeld.c_str();
    return g_realCreateFile(made ? g_privateArea.c_str() : path, access, share, sa, how, flags, tmpl);
}

// The made folder's own attributes are the stand-in's.
DWORD WINAPI StandInGetFileAttributesA(LPCSTR path) {
    std::string dir = std::string(path) + "\\";
    bool made = std::find(g_madeDirs.begin(), g_madeDirs.end(), dir) != g_madeDirs.end();
    return GetFileAttributesA(made ? g_privateArea.c_str() : path);
}

// It is made current as that folder too.
decltype(OsCalls::SetCurrentDirectoryA) g_realSetCwd;

BOOL WINAPI StandInSetCurrentDirectoryA(LPCSTR path) {
    bool made = std::find(g_madeDirs.begin(), g_madeDirs.end(), path) != g_madeDirs.end();
    return g_realSetCwd(made ? g_privateArea.c_str() : path);
}

HANDLE WINAPI RecordingFindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA) {
    g_patterns.push_back(pattern);
    SetLastError(ERROR_FILE_NOT_FOUND);  // as an empty drive root
    return INVALID_HANDLE_VALUE;
}

// The second query is the package directory's.
DWORD WINAPI FakeGetCurrentDirectoryA(DWORD size, LPSTR buf) {
    if (++g_cwdCalls != 2 || g_packageDir.empty()) return g_realCwd(size, buf);
    if (g_packageDir.size() >= size) return static_cast<DWORD>(g_packageDir.size() + 1);
    memcpy(buf, g_packageDir.c_str(), g_packageDir.size() + 1);
    return static_cast<DWORD>(g_packageDir.size());
}

// Windows XP: the run goes to its end without running an update.
BOOL WINAPI XpGetVersionExA(LPOSVERSIONINFOA info) {
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    return TRUE;
}

std::string Padded(const std::string& head, size_t length) { return head + std::string(length - head.size(), 'q'); }

struct RunOutcome {
    int rc;
    std::vector<std::string> lines;
};

// One whole run in-process with all the fakes in place; arg empty: in place.
RunOutcome RunWith(const std::string& arg) {
    TempDir logRoot;
    _putenv(("SYSTEMDRIVE=" + logRoot.path()).c_str());
    SECURITY_ATTRIBUTES security;
    g_privateArea = logRoot / "area";
    EXPECT_TRUE(BuildPrivateAreaSecurity(&security) && CreateDirectoryA(g_privateArea.c_str(), &security));
    g_nameRoots.clear();
    g_madeDirs.clear();
    g_patterns.clear();
    g_cwdCalls = 0;
    g_packageHeld = arg;
    RunOutcome r;
    {
        OsOverride sysDir(&OsCalls::GetSystemDirectoryA, FakeGetSystemDirectoryA);
        OsOverride name(&OsCalls::GetTempFileNameA, FakeGetTempFileNameA);
        OsOverride del(&OsCalls::DeleteFileA, NoDeleteFileA);
        OsOverride mkdir(&OsCalls::CreateDirectoryA, RecordingCreateDirectoryA);
        OsOverride hold(&OsCalls::CreateFileA, StandInCreateFileA);
        g_realCreateFile = hold.saved();
        OsOverride attributes(&OsCalls::GetFileAttributesA, StandInGetFileAttributesA);
        OsOverride setCwd(&OsCalls::SetCurrentDirectoryA, StandInSetCurrentDirectoryA);
        g_realSetCwd = setCwd.saved();
        OsOverride find(&OsCalls::FindFirstFileA, RecordingFindFirstFileA);
        OsOverride cwd(&OsCalls::GetCurrentDirectoryA, FakeGetCurrentDirectoryA);
        OsOverride version(&OsCalls::GetVersionExA, XpGetVersionExA);
        g_realSysDir = sysDir.saved();
        g_realCwd = cwd.saved();
        testing::internal::CaptureStdout();
        char arg0[] = "vorpkg";
        std::string arg1 = arg;
        char* argv[] = {arg0, &arg1[0], nullptr};
        r.rc = UpdateRun(arg.empty() ? 1 : 2, argv);
        r.lines = Lines(testing::internal::GetCapturedStdout());
    }
    _putenv("SYSTEMDRIVE=C:");
    return r;
}

const char kStagingFailed[] = "Copying update files to the hard drive failed.";
const char kDone9[] = "Return Code from vorpkg is 9";

class RunBoundary : public testing::Test {
protected:
    void SetUp() override {
        g_sysDir.clear();
        g_stagingName = "C:\\QVT1A2.tmp";
        g_packageDir.clear();
    }
    TempDir pkg_;  // an empty package: a staged run copies nothing
};

// 255 characters fit the 256-character buffer: the drive root is their
// first three. 256 do not: nothing is written, there is no drive root, and
// a staged run is refused before anything is made.
TEST_F(RunBoundary, SystemDirectory) {
    g_sysDir = Padded("D:\\WINNT\\", 255);
    RunOutcome fits = RunWith("");
    EXPECT_EQ(g_nameRoots, std::vector<std::string>{"D:\\"});
    EXPECT_EQ(fits.rc, 9);

    g_sysDir = Padded("D:\\WINNT\\", 256);
    RunOutcome inPlace = RunWith("");
    EXPECT_EQ(g_nameRoots, std::vector<std::string>{""});
    EXPECT_EQ(inPlace.rc, 9) << "an in-place run does not need the drive root";
    ASSERT_FALSE(inPlace.lines.empty());
    EXPECT_EQ(inPlace.lines.back(), kDone9);

    RunOutcome staged = RunWith(pkg_.path());
    EXPECT_EQ(staged.rc, 1);
    EXPECT_EQ(staged.lines, (std::vector<std::string>{"Unable to determine the system drive.", kStagingFailed}));
    EXPECT_TRUE(g_madeDirs.empty());
}

// The name and its backslash fill the 260-character buffer exactly, or the
// staged run is refused before the staging directory is made.
TEST_F(RunBoundary, StagingName) {
    g_stagingName = Padded("C:\\QVT", 258);
    RunOutcome fits = RunWith(pkg_.path());
    EXPECT_EQ(fits.rc, 9);
    EXPECT_EQ(g_madeDirs, std::vector<std::string>{g_stagingName + "\\"});
    ASSERT_EQ(g_patterns.size(), 3u);  // the size walk, the staging area found empty, the copy

    g_stagingName = Padded("C:\\QVT", 259);
    RunOutcome refused = RunWith(pkg_.path());
    EXPECT_EQ(refused.rc, 1);
    EXPECT_EQ(refused.lines,
              (std::vector<std::string>{"Staging directory name is too long: " + g_stagingName, kStagingFailed}));
    EXPECT_TRUE(g_madeDirs.empty());
}

struct PackageRow {
    const char* name;
    size_t length;
    std::vector<std::string> lines;
    size_t pattern;  // length of the search pattern the tree copy asks for; 0: none
};

void PrintTo(const PackageRow& r, std::ostream* os) { *os << r.name; }

const char kCopyFailed[] = "Unable to copy files from QV CD to hard drive.";
const char kTreeFailed[] = "Unable to copy update files to the hard drive.";

// The absolute package directory fills its 261-character buffer with up to
// 260 characters; the tree copy takes one of at most 255 (its pattern then
// has 259), and refuses a longer one without asking the system.
const PackageRow kPackages[] = {
    {"tree_copy_255", 255, {kDone9}, 259},
    {"tree_copy_256", 256, {kCopyFailed, kTreeFailed, kStagingFailed}, 0},
    {"buffer_260", 260, {kCopyFailed, kTreeFailed, kStagingFailed}, 0},
    {"buffer_261", 261, {}, 0},
};

class PackageDirectory : public RunBoundary, public testing::WithParamInterface<PackageRow> {};

TEST_P(PackageDirectory, FitsOrIsRefused) {
    const PackageRow& row = GetParam();
    g_packageDir = Padded("E:\\pkg\\", row.length);
    RunOutcome r = RunWith(pkg_.path());
    std::vector<std::string> lines = row.lines;
    if (lines.empty()) lines = {"Package directory path is too long: " + pkg_.path(), kStagingFailed};
    EXPECT_EQ(r.lines, lines);
    EXPECT_EQ(r.rc, row.pattern ? 9 : 1);
    // The package's listings (the staging area's own is looked at too).
    std::vector<std::string> listed;
    for (const std::string& p : g_patterns)
        if (p.rfind("E:\\", 0) == 0) listed.push_back(p);
    if (row.pattern) {
        // The size walk and the copy ask for the same listing.
        EXPECT_EQ(listed, std::vector<std::string>(2, g_packageDir + "\\*.*"));
        EXPECT_EQ(listed[0].size(), row.pattern);
    } else {
        EXPECT_TRUE(listed.empty());
    }
    EXPECT_EQ(g_madeDirs.empty(), row.length > 260) << "the staging directory is made only for a package that fits";
}

INSTANTIATE_TEST_SUITE_P(Table, PackageDirectory, testing::ValuesIn(kPackages),
                         [](const testing::TestParamInfo<PackageRow>& i) { return std::string(i.param.name); });

// No directory has such a name: refused as any unusable argument.
TEST_F(RunBoundary, OverlongArgument) {
    for (size_t length : {261u, 5000u}) {
        std::string arg = Padded(pkg_.path() + "\\", length);
        RunOutcome r = RunWith(arg);
        EXPECT_EQ(r.rc, 1);
        EXPECT_EQ(r.lines, (std::vector<std::string>{"Unable to use package directory: " + arg, kStagingFailed}));
        EXPECT_TRUE(g_madeDirs.empty());
    }
}

// A system drive of 114 characters gives a log file path of 127, which is
// made and written; 115 end the process (tests/unit/resultlog_test.cpp).
TEST(ResultLogPath, LongestSystemDriveIsWritten) {
    TempDir base;
    std::string drive = Padded(base.path() + "\\", 114);
    MakeDirs(drive);
    _putenv(("SYSTEMDRIVE=" + drive).c_str());
    EXPECT_EQ(WriteResultRecord("03-07-2004", "09:05:07", "u", "n", 0), 0);
    _putenv("SYSTEMDRIVE=C:");
    std::string log = drive + "\\QVLOG\\QV.log";
    ASSERT_EQ(log.size(), 127u);
    EXPECT_EQ(ReadFileBytes(log), "03-07-2004 09:05:07,Update=u,New=n,Status=Success,ReturnCode=0 \r\n");
}

}  // namespace

// The tree copy on real files (from a plain folder and from the CD drive),
// with its calls recorded or faults injected through the OS-call table.
#include "staging/treecopy.h"
#include "treefs.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

const char kCopyFailed[] = "Unable to copy files from QV CD to hard drive.";
const char kSubDirFailed[] = "Unable to create temporary sub-directory!";
const char kNestedFailed[] = "Unable to copy sub-directory update files to the hard drive.";
const DWORD kRHS = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct Outcome {
    int rc;
    std::vector<std::string> lines;
};

Outcome Copy(const std::string& source, const std::string& dest) {
    testing::internal::CaptureStdout();
    int rc = TreeCopy(source.c_str(), dest.c_str());
    return {rc, Lines(testing::internal::GetCapturedStdout())};
}

// A package with dot-names, odd attributes and folders three deep.
const std::vector<std::string> kPackage = {
    "zorvad.sys", ".hidden", "..x", "ro.txt", "hid.txt", "sys.txt", "empty\\", "one\\", "one\\1.txt",
    "one\\two\\", "one\\two\\2.txt", "one\\two\\three\\", "one\\two\\three\\3.txt", "one\\two\\three\\rhs.txt"};
const std::pair<const char*, DWORD> kAttributes[] = {{"ro.txt", FILE_ATTRIBUTE_READONLY},
                                                     {"hid.txt", FILE_ATTRIBUTE_HIDDEN},
                                                     {"sys.txt", FILE_ATTRIBUTE_SYSTEM},
                                                     {"one\\two\\three\\rhs.txt", kRHS}};

struct PackageRow {
    const char* name;
    bool fromCd;  // the package is the root of drive E:
    bool empty;
};

void PrintTo(const PackageRow& r, std::ostream* os) { *os << r.name; }

class PackageCopy : public testing::TestWithParam<PackageRow> {};

TEST_P(PackageCopy, CopiesEverythingWithNormalAttributes) {
    const PackageRow& row = GetParam();
    TempDir pkg, dest;
    std::string host = row.fromCd ? CdDir() : pkg.path();
    std::string source = row.fromCd ? "E:\\" : pkg.path();
    if (row.fromCd) EmptyDir(host);
    if (!row.empty) {
        MakeTree(host, kPackage);
        for (const auto& a : kAttributes) {
            ASSERT_TRUE(SetFileAttributesA((host + "\\" + a.first).c_str(), a.second));
            ASSERT_EQ(GetFileAttributesA((host + "\\" + a.first).c_str()) & kRHS, a.second) << a.first;
        }
    }
    FsRecorder rec;
    Outcome out = Copy(source, dest.path() + "\\");
    EXPECT_EQ(out.rc, 0);
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(TreeWithContents(dest.path()), TreeWithContents(host));
    ASSERT_FALSE(rec.log.patterns.empty());
    EXPECT_EQ(rec.log.patterns[0], row.fromCd ? "E:\\*.*" : pkg.path() + "\\*.*");
    for (const std::string& e : ListTree(dest.path())) {
        if (e.back() == '\\') continue;
        DWORD keep = e.find("\\.") == std::string::npos && e[0] != '.' ? kRHS : kRHS & ~FILE_ATTRIBUTE_HIDDEN;
        EXPECT_EQ(GetFileAttributesA((dest / e).c_str()) & keep, 0u) << e;  // Wine hides dot-names itself
    }
    if (row.fromCd) EmptyDir(host);
}

INSTANTIATE_TEST_SUITE_P(Wine, PackageCopy,
                         testing::Values(PackageRow{"folder", false, false}, PackageRow{"folder_empty", false, true},
                                         PackageRow{"cd_root", true, false}, PackageRow{"cd_root_empty", true, true}),
                         [](const testing::TestParamInfo<PackageRow>& i) { return std::string(i.param.name); });

// A listing served by fakes: which names are copied, from which paths.
std::vector<std::pair<std::string, DWORD>> g_listing;
size_t g_next;
std::vector<std::string> g_calls;

void Deliver(LPWIN32_FIND_DATAA data) {
    memset(data, 0, sizeof *data);
    strcpy(data->cFileName, g_listing[g_next].first.c_str());
    data->dwFileAttributes = g_listing[g_next++].second;
}
HANDLE WINAPI ListFirst(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    g_calls.push_back(std::string("list ") + pattern);
    g_next = 0;
    Deliver(data);
    return reinterpret_cast<HANDLE>(0x5150);
}
BOOL WINAPI ListNext(HANDLE, LPWIN32_FIND_DATAA data) {
    if (g_next == g_listing.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Deliver(data);
    return TRUE;
}
BOOL WINAPI ListClose(HANDLE h) {
    g_calls.push_back(h == reinterpret_cast<HANDLE>(0x5150) ? "close" : "close ?");
    return TRUE;
}
BOOL WINAPI NoteCopy(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    g_calls.push_back(std::string("copy ") + from + " " + to + (failIfExists ? " keep" : ""));
    return TRUE;
}
BOOL WINAPI NoteAttributes(LPCSTR path, DWORD attr) {
    g_calls.push_back("attr " + std::string(path) + " " + std::to_string(attr));
    return FALSE;  // ignored: the walk goes on
}
BOOL WINAPI NoteMkdir(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    g_calls.push_back(std::string("mkdir ") + path);
    return TRUE;
}

// Only "." and ".." are passed over; "..." cannot be opened under a Win32
// path, but it is tried like any other name.
TEST(TreeCopyNames, EveryNameButDotAndDotDotIsCopied) {
    g_listing = {{".", FILE_ATTRIBUTE_DIRECTORY}, {"..", FILE_ATTRIBUTE_DIRECTORY}, {"...", FILE_ATTRIBUTE_HIDDEN},
                 {".hidden", FILE_ATTRIBUTE_HIDDEN}, {"..x", 0}, {"x", FILE_ATTRIBUTE_READONLY}};
    OsOverride<decltype(OsCalls::FindFirstFileA)> first(&OsCalls::FindFirstFileA, ListFirst);
    OsOverride<decltype(OsCalls::FindNextFileA)> next(&OsCalls::FindNextFileA, ListNext);
    OsOverride<decltype(OsCalls::FindClose)> close(&OsCalls::FindClose, ListClose);
    OsOverride<decltype(OsCalls::CopyFileA)> copy(&OsCalls::CopyFileA, NoteCopy);
    OsOverride<decltype(OsCalls::SetFileAttributesA)> attr(&OsCalls::SetFileAttributesA, NoteAttributes);
    OsOverride<decltype(OsCalls::CreateDirectoryA)> mkdir(&OsCalls::CreateDirectoryA, NoteMkdir);
    // One backslash is added to a folder, none to a drive root.
    for (std::string source : {"Q:\\pkg", "Q:\\pkg\\", "Q:\\"}) {
        std::string form = source.back() == '\\' ? source : source + "\\";
        g_calls.clear();
        Outcome out = Copy(source, "C:\\st\\");
        EXPECT_EQ(out.rc, 0);
        EXPECT_TRUE(out.lines.empty());
        std::vector<std::string> expected = {"list " + form + "*.*"};
        for (const char* n : {"...", ".hidden", "..x", "x"}) {
            expected.push_back("copy " + form + n + " C:\\st\\" + n);
            expected.push_back(std::string("attr C:\\st\\") + n + " 128");
        }
        expected.push_back("close");
        EXPECT_EQ(g_calls, expected) << source;
    }
}

// What a failure leaves, and what an existing destination does.
struct FailureRow {
    const char* name;
    std::vector<std::string> package;
    std::vector<std::string> inDest;  // there before the copy, holding "stale"
    const char* failCopyOf;
    int rc;
    std::vector<std::string> lines;
    std::vector<std::string> destAfter;
};

void PrintTo(const FailureRow& r, std::ostream* os) { *os << r.name; }

const FailureRow kFailures[] = {
    {"copy_fails_two_levels_down",
     {"1first.txt", "2sub\\", "2sub\\1a.txt", "2sub\\2deeper\\", "2sub\\2deeper\\1x.txt", "2sub\\2deeper\\2bad.txt",
      "2sub\\2deeper\\3y.txt", "2sub\\3after.txt", "3last.txt"},
     {},
     "2bad.txt",
     1,
     {kCopyFailed, kNestedFailed, kNestedFailed},
     {"1first.txt=1first.txt", "2sub\\", "2sub\\1a.txt=2sub\\1a.txt", "2sub\\2deeper\\",
      "2sub\\2deeper\\1x.txt=2sub\\2deeper\\1x.txt"}},
    {"existing_subdir_is_not_merged",
     {"a.txt", "b\\", "b\\in.txt", "c.txt"},
     {"b\\", "b\\old.txt"},
     "",
     1,
     {kSubDirFailed},
     {"a.txt=a.txt", "b\\", "b\\old.txt=stale"}},
    {"existing_file_is_overwritten", {"a.txt"}, {"a.txt"}, "", 0, {}, {"a.txt=a.txt"}},
    {"missing_source_fails", {}, {}, "", 1, {kCopyFailed}, {}},
};

class TreeCopyFailure : public testing::TestWithParam<FailureRow> {};

TEST_P(TreeCopyFailure, StopsAtFirstFailure) {
    const FailureRow& row = GetParam();
    TempDir pkg, dest;
    MakeTree(pkg.path(), row.package);
    for (const std::string& e : row.inDest)
        e.back() == '\\' ? MakeDirs(dest / e.substr(0, e.size() - 1)) : WriteFileBytes(dest / e, "stale");
    FsRecorder rec;
    rec.log.failCopyOf = row.failCopyOf;
    std::string source = row.package.empty() ? pkg / "missing" : pkg.path();
    Outcome out = Copy(source, dest.path() + "\\");
    EXPECT_EQ(out.rc, row.rc);
    EXPECT_EQ(out.lines, row.lines);
    EXPECT_EQ(TreeWithContents(dest.path()), row.destAfter);
}

INSTANTIATE_TEST_SUITE_P(Table, TreeCopyFailure, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<FailureRow>& i) { return std::string(i.param.name); });

// A listing that cannot be opened or breaks off fails the level, unless the
// system says the folder is empty or finished; the size walk before
// staging gives up on the same faults.
std::string g_faultPattern;
bool g_faultOnFirst;
DWORD g_faultError;
HANDLE g_faultListing;
decltype(OsCalls::FindFirstFileA) g_realFindFirst;
decltype(OsCalls::FindNextFileA) g_realFindNext;

HANDLE WINAPI FaultyFindFirst(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (g_faultPattern != pattern) return g_realFindFirst(pattern, data);
    SetLastError(g_faultError);
    return g_faultOnFirst ? INVALID_HANDLE_VALUE : (g_faultListing = g_realFindFirst(pattern, data));
}

BOOL WINAPI FaultyFindNext(HANDLE h, LPWIN32_FIND_DATAA data) {
    if (h != g_faultListing) return g_realFindNext(h, data);
    SetLastError(g_faultError);
    return FALSE;
}

TEST(ListingError, FailsTheLevel) {
    struct Row {
        const char* dir;  // whose listing fails ("" the top)
        bool onFirst;     // FindFirstFileA fails; else FindNextFileA after "."
        DWORD error;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"", true, ERROR_ACCESS_DENIED, {kCopyFailed}},
        {"sub\\deeper", true, ERROR_PATH_NOT_FOUND, {kCopyFailed, kNestedFailed, kNestedFailed}},
        {"sub", false, ERROR_NOT_READY, {kCopyFailed, kNestedFailed}},  // the CD taken out
        {"", true, ERROR_FILE_NOT_FOUND, {}},                            // as an empty drive root
        // Below the top every folder lists its own ".": it went or cannot be seen.
        {"sub", true, ERROR_FILE_NOT_FOUND, {kCopyFailed, kNestedFailed}},
        {"sub", false, ERROR_NO_MORE_FILES, {}},
    };
    OsOverride<decltype(OsCalls::FindFirstFileA)> first(&OsCalls::FindFirstFileA, FaultyFindFirst);
    OsOverride<decltype(OsCalls::FindNextFileA)> next(&OsCalls::FindNextFileA, FaultyFindNext);
    g_realFindFirst = first.saved();
    g_realFindNext = next.saved();
    for (const Row& r : rows) {
        TempDir pkg, dest;
        MakeTree(pkg.path(), {"a.txt", "sub\\", "sub\\b.txt", "sub\\deeper\\", "sub\\deeper\\c.txt", "z.txt"});
        g_faultPattern = (*r.dir ? pkg / r.dir : pkg.path()) + "\\*.*";
        g_faultOnFirst = r.onFirst;
        g_faultError = r.error;
        uint64_t bytes = 0;
        g_faultListing = nullptr;
        EXPECT_EQ(TreeBytes(pkg.path().c_str(), (dest.path() + "\\").c_str(), 1, &bytes) == kSized, r.lines.empty())
            << r.error;
        g_faultListing = nullptr;
        FsRecorder rec;  // every listing opened is closed, on the failing paths too
        Outcome out = Copy(pkg.path(), dest.path() + "\\");
        EXPECT_EQ(out.rc, r.lines.empty() ? 0 : 1) << r.error;
        EXPECT_EQ(out.lines, r.lines) << r.error;
    }
}

// The destination inside the source: the walk passes over it and ends.
struct InsideRow {
    const char* name;
    bool fromCd;
    const char* destRel;  // below the source, as created
    const char* destArg;  // as handed to the copy
};

void PrintTo(const InsideRow& r, std::ostream* os) { *os << r.name; }

class DestinationInsideSource : public testing::TestWithParam<InsideRow> {};

TEST_P(DestinationInsideSource, IsPassedOver) {
    const InsideRow& row = GetParam();
    TempDir pkg;
    std::string host = row.fromCd ? CdDir() : pkg.path();
    std::string source = row.fromCd ? "E:\\" : pkg.path();
    if (row.fromCd) EmptyDir(host);
    MakeTree(host, kPackage);
    MakeDirs(host + "\\" + row.destRel);
    std::vector<std::string> expected;
    for (const std::string& e : TreeWithContents(host))
        if (e.rfind(std::string(row.destRel) + "\\", 0) != 0) expected.push_back(e);
    FsRecorder rec;
    Outcome out = Copy(source, (row.fromCd ? std::string("E:\\") : pkg.path() + "\\") + row.destArg);
    EXPECT_EQ(out.rc, 0);
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(TreeWithContents(host + "\\" + row.destRel), expected);
    if (row.fromCd) EmptyDir(host);
}

INSTANTIATE_TEST_SUITE_P(Table, DestinationInsideSource,
                         testing::Values(InsideRow{"staging_area_in_package", false, "QVTSTAGE.tmp", "QVTSTAGE.tmp\\"},
                                         InsideRow{"named_in_other_case", false, "QVTSTAGE.tmp", "qvtstage.TMP\\"},
                                         InsideRow{"two_levels_down", false, "one\\two\\stage", "one\\two\\stage\\"},
                                         InsideRow{"cd_root", true, "QVTSTAGE.tmp", "QVTSTAGE.tmp\\"}),
                         [](const testing::TestParamInfo<InsideRow>& i) { return std::string(i.param.name); });

// Paths of 259 characters (260 with the terminator) are used; one more
// character fails that step before the OS is asked.
enum PathKind { FileTarget, SubDirTarget, Pattern, NestedPattern, FileSource };

struct LengthRow {
    const char* name;
    PathKind kind;
    size_t length;
    std::vector<std::string> lines;
};

void PrintTo(const LengthRow& r, std::ostream* os) { *os << r.name; }

// path followed by folders of 'p' up to exactly total characters.
std::string PadPath(std::string path, size_t total) {
    while (path.size() < total) {
        size_t room = total - path.size() - 1;
        size_t n = room > 100 ? (room - 100 < 2 ? room - 2 : 100) : room;
        path += "\\" + std::string(n, 'p');
    }
    return path;
}

class PathLength : public testing::TestWithParam<LengthRow> {};

TEST_P(PathLength, FitsOrFailsItsStep) {
    const LengthRow& row = GetParam();
    TempDir src, dst;
    std::string source = src.path(), dest = dst.path();
    std::string cdSide;  // where a too-long source is made, through the short E: alias
    switch (row.kind) {
    case FileTarget:  // dest\f.txt
        dest = PadPath(dest, row.length - 6);
        MakeTree(source, {"f.txt"});
        break;
    case SubDirTarget:  // dest\d\ .
        dest = PadPath(dest, row.length - 3);
        MakeTree(source, {"d\\"});
        break;
    case Pattern:  // source\*.*
        source = PadPath(source, row.length - 4);
        MakeDirs(source);
        break;
    case NestedPattern:  // source\<name>\*.*
        MakeTree(source, {std::string(row.length - 5 - source.size(), 'n') + "\\"});
        break;
    case FileSource:  // source\ffff, made where a path this long cannot be written
        EmptyDir(CdDir());
        source = PadPath(CdDir(), row.length - 5);
        cdSide = "E:" + source.substr(CdDir().size());
        MakeDirs(cdSide);
        MakeTree(cdSide, {"ffff"});
        break;
    }
    MakeDirs(dest);
    FsRecorder rec;
    Outcome out = Copy(source, dest + "\\");
    EXPECT_EQ(out.rc, row.lines.empty() ? 0 : 1);
    EXPECT_EQ(out.lines, row.lines);
    std::vector<std::string> asked = rec.log.patterns;
    for (const std::string& c : rec.log.copies) {
        asked.push_back(c.substr(0, c.find('>')));
        asked.push_back(c.substr(c.find('>') + 1));
    }
    asked.insert(asked.end(), rec.log.madeDirs.begin(), rec.log.madeDirs.end());
    size_t longest = 0;
    for (const std::string& a : asked) longest = std::max(longest, a.size());
    // The path under test reaches the OS when it fits; nothing longer ever does.
    if (row.lines.empty())
        EXPECT_EQ(longest, row.length) << testing::PrintToString(asked);
    else
        EXPECT_LT(longest, 260u) << testing::PrintToString(asked);
    if (!cdSide.empty()) EmptyDir(CdDir());
}

INSTANTIATE_TEST_SUITE_P(Table, PathLength,
                         testing::Values(LengthRow{"file_target_259", FileTarget, 259, {}},
                                         LengthRow{"file_target_260", FileTarget, 260, {kCopyFailed}},
                                         LengthRow{"subdir_target_259", SubDirTarget, 259, {}},
                                         LengthRow{"subdir_target_260", SubDirTarget, 260, {kSubDirFailed}},
                                         LengthRow{"pattern_259", Pattern, 259, {}},
                                         LengthRow{"pattern_260", Pattern, 260, {kCopyFailed}},
                                         LengthRow{"nested_pattern_259", NestedPattern, 259, {}},
                                         LengthRow{"nested_pattern_260", NestedPattern, 260, {kCopyFailed, kNestedFailed}},
                                         LengthRow{"file_source_259", FileSource, 259, {}},
                                         LengthRow{"file_source_260", FileSource, 260, {kCopyFailed}}),
                         [](const testing::TestParamInfo<LengthRow>& i) { return std::string(i.param.name); });

}  // namespace

namespace {

// The attributes Windows lists such a folder with, whatever Wine's listing
// reports for a folder.
DWORD g_sviAttributes;

BOOL WINAPI SviFindNext(HANDLE h, LPWIN32_FIND_DATAA data) {
    BOOL ok = g_realFindNext(h, data);
    if (ok && strcmp(data->cFileName, "svi") == 0) data->dwFileAttributes |= g_sviAttributes;
    return ok;
}

// A drive root's own protected folders (System Volume Information): hidden
// and system, listing refused. Only there, only so, they are copied empty.
TEST(ProtectedFolder, OnlyAtADriveRootsTop) {
    const DWORD kHS = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    struct Row {
        const char* name;
        bool fromCd;
        const char* dir;
        DWORD attributes;
        DWORD error;
        bool copied;
    };
    const Row rows[] = {
        {"drive_root_top", true, "svi", kHS, ERROR_ACCESS_DENIED, true},
        {"hidden_only", true, "svi", FILE_ATTRIBUTE_HIDDEN, ERROR_ACCESS_DENIED, false},
        {"other_error", true, "svi", kHS, ERROR_NOT_READY, false},
        {"nested", true, "sub\\svi", kHS, ERROR_ACCESS_DENIED, false},
        {"not_a_drive_root", false, "svi", kHS, ERROR_ACCESS_DENIED, false},
    };
    OsOverride<decltype(OsCalls::FindFirstFileA)> first(&OsCalls::FindFirstFileA, FaultyFindFirst);
    OsOverride<decltype(OsCalls::FindNextFileA)> next(&OsCalls::FindNextFileA, SviFindNext);
    g_realFindFirst = first.saved();
    g_realFindNext = next.saved();
    g_faultOnFirst = true;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        g_sviAttributes = r.attributes;
        TempDir pkg, dest;
        std::string root = r.fromCd ? CdDir() : pkg.path();
        EmptyDir(CdDir());
        MakeTree(root, {"a.txt", "sub\\", "svi\\", "svi\\x.txt", "sub\\svi\\", "sub\\svi\\y.txt"});
        ASSERT_TRUE(SetFileAttributesA((root + "\\" + r.dir).c_str(), r.attributes));
        ASSERT_EQ(GetFileAttributesA((root + "\\" + r.dir).c_str()) & kHS, r.attributes & kHS);
        std::string source = r.fromCd ? "E:\\" : pkg.path();
        g_faultPattern = source + (r.fromCd ? "" : "\\") + r.dir + "\\*.*";
        g_faultError = r.error;
        uint64_t bytes = 0;
        EXPECT_EQ(TreeBytes(source.c_str(), (dest.path() + "\\").c_str(), 1, &bytes) == kSized, r.copied);
        Outcome out = Copy(source, dest.path() + "\\");
        EXPECT_EQ(out.rc, r.copied ? 0 : 1);
        if (r.copied) {
            EXPECT_TRUE(DirExists(dest / "svi"));
            EXPECT_TRUE(ListDir(dest / "svi").empty());
            EXPECT_TRUE(FileExists(dest / "sub\\svi\\y.txt"));
        }
        SetFileAttributesA((root + "\\" + r.dir).c_str(), FILE_ATTRIBUTE_NORMAL);
        EmptyDir(CdDir());
    }
}

}  // namespace

namespace {

// Links in a package (junctions and mount points; symbolic links under
// Wine) are never followed, by the size walk nor by the copy itself (a
// link made after the walk): the place they lead to is not the package's.
TEST(PackageLink, IsNeverFollowed) {
    struct Row {
        const char* link;  // made in the package, leading to a folder outside
        int nested;        // levels below the top
    };
    const Row rows[] = {{"sub", 0}, {"one\\two\\linked", 2}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.link);
        TempDir pkg, outside, dest;
        MakeTree(pkg.path(), {"a.txt", "one\\", "one\\two\\"});
        MakeTree(outside.path(), {"secret.txt"});
        OnHost("ln -s '" + WinToHost(outside.path()) + "' '" + WinToHost(pkg / r.link) + "'");
        const std::string said = "Package holds a link: " + pkg / r.link;

        testing::internal::CaptureStdout();
        uint64_t bytes = 0;
        EXPECT_EQ(TreeBytes(pkg.path().c_str(), (dest.path() + "\\").c_str(), 1, &bytes), kSizeLink);
        EXPECT_EQ(Lines(testing::internal::GetCapturedStdout()), std::vector<std::string>{said});

        Outcome out = Copy(pkg.path(), dest.path() + "\\");
        std::vector<std::string> lines = {said};
        lines.insert(lines.end(), r.nested, kNestedFailed);
        EXPECT_EQ(out.rc, 1);
        EXPECT_EQ(out.lines, lines);
        for (const std::string& e : ListTree(dest.path())) EXPECT_EQ(e.find("secret"), std::string::npos) << e;
        RemoveTree(pkg / r.link);
    }
}

// A reparse point is a link by its tag: a file that Single Instance Storage
// or Remote Storage keeps is a plain file and is copied; a junction, mount
// point, symbolic link or any tag not known is not. Played on a.txt's find
// data.
DWORD g_tag = 0;
decltype(OsCalls::FindFirstFileA) g_realFirst;
decltype(OsCalls::FindNextFileA) g_realNext;

void Tagged(LPWIN32_FIND_DATAA entry) {
    if (strcmp(entry->cFileName, "a.txt") != 0) return;
    entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    entry->dwReserved0 = g_tag;
}
HANDLE WINAPI TaggedFirst(LPCSTR pattern, LPWIN32_FIND_DATAA entry) {
    HANDLE h = g_realFirst(pattern, entry);
    if (h != INVALID_HANDLE_VALUE) Tagged(entry);
    return h;
}
BOOL WINAPI TaggedNext(HANDLE h, LPWIN32_FIND_DATAA entry) {
    BOOL ok = g_realNext(h, entry);
    if (ok) Tagged(entry);
    return ok;
}

TEST(PackageLink, JudgedByItsTag) {
    const std::pair<DWORD, bool> rows[] = {{0x80000007, true},    // Single Instance Storage
                                           {0xC0000004, true},    // Remote Storage
                                           {0x80000006, true},    // Remote Storage, the second
                                           {0xA0000003, false},   // junction, mount point
                                           {0xA000000C, false},   // symbolic link
                                           {0x80000013, false}};  // one not known here
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        TempDir pkg, dest;
        MakeTree(pkg.path(), {"a.txt"});
        g_tag = row.first;
        OsOverride<decltype(OsCalls::FindFirstFileA)> first(&OsCalls::FindFirstFileA, TaggedFirst);
        OsOverride<decltype(OsCalls::FindNextFileA)> next(&OsCalls::FindNextFileA, TaggedNext);
        g_realFirst = first.saved();
        g_realNext = next.saved();
        Outcome out = Copy(pkg.path(), dest.path() + "\\");
        EXPECT_EQ(out.rc, row.second ? 0 : 1);
        EXPECT_EQ(FileExists(dest / "a.txt"), row.second);
        if (!row.second) {
            EXPECT_EQ(out.lines, std::vector<std::string>{"Package holds a link: " + pkg / "a.txt"});
        }
    }
}

}  // namespace

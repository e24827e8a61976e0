// An in-place run from a folder named in Japanese under code page 932, where
// the second byte of a character may be one that cmd acts on (タ ends in
// '^'). Needs Wine started with a Japanese locale: CTest's e2e.cp932 sets
// one up; the other e2e tests leave this one out.
#include "package.h"
#include "process.h"
#include "treefs.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace {

TEST(CodePage932, InPlaceRunFromAJapaneseFolder) {
    ASSERT_EQ(GetACP(), 932u) << "Wine must run with LC_ALL=ja_JP.UTF-8 (ctest -R e2e.cp932)";
    TempDir base;
    const std::string dir = base / "\x83\x66\x81\x5B\x83\x5E";  // データ
    MakeDirs(dir);
    MakePackage(dir, "");
    RunOptions opts;
    opts.winver = "win2k";
    opts.startDir = dir;
    RunResult r = RunVorpkg(opts);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string first =
        "mervane.exe /l " + dir + "\\VOR.LOG /s /noreboot /i " + dir + "\\zorvad.inf /oisafe12";
    EXPECT_EQ(ReadTrace(dir), std::vector<std::string>{first}) << "the utility got its line intact";
    ASSERT_FALSE(r.lines().empty());
    EXPECT_EQ(r.lines().front(), "Win2k command to run is [" + first + "]");
    EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 0");
}

void WriteAnsiFile(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

// A staged run of a package folder ending in 表 (95 5C) with a sub-folder
// ソ (83 5C) and a sibling whose name begins with it, ソ計画: the second byte
// of each is the byte of a backslash. Every file reaches the staging area.
TEST(CodePage932, StagedRunOfDoubleByteFolders) {
    ASSERT_EQ(GetACP(), 932u) << "Wine must run with LC_ALL=ja_JP.UTF-8 (ctest -R e2e.cp932)";
    TempDir base;
    const std::string pkg = base / "\x95\x5C";
    // Made one by one: the tests' path helpers read bytes.
    const std::string so = pkg + "\\\x83\x5C", plan = pkg + "\\\x83\x5C\x8C\x76\x89\xE6";
    ASSERT_TRUE(CreateDirectoryA(pkg.c_str(), nullptr));
    MakePackage(pkg, "");  // empties the folder first
    for (const std::string& d : {so, so + "\\\x83\x5C", plan}) ASSERT_TRUE(CreateDirectoryA(d.c_str(), nullptr)) << d;
    WriteAnsiFile(so + "\\readme.txt", "readme");
    WriteAnsiFile(so + "\\\x83\x5C\\deep.txt", "deep");
    WriteAnsiFile(plan + "\\plan.txt", "plan");
    std::vector<std::string> package = TreeWithContents(pkg);
    std::vector<std::string> before = StagingAreas();
    RunOptions opts;
    opts.winver = "win2k";
    opts.startDir = base.path();
    opts.args = {pkg};
    RunResult r = RunVorpkg(opts);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    std::vector<std::string> added;
    for (const std::string& n : StagingAreas())
        if (std::find(before.begin(), before.end(), n) == before.end()) added.push_back("C:\\" + n);
    ASSERT_EQ(added.size(), 1u) << r.out;
    std::vector<std::string> copy = TreeWithContents(added[0]);
    for (const std::string& e : package) EXPECT_NE(std::find(copy.begin(), copy.end(), e), copy.end()) << e;
    EmptyDir(added[0]);
    RemoveDirectoryA(added[0].c_str());
}

}  // namespace

// An in-place run from a folder named in Japanese under code page 932, where
// the second byte of a character may be one that cmd acts on (タ ends in
// '^'). Needs Wine started with a Japanese locale: CTest's e2e.cp932 sets
// one up; the other e2e tests leave this one out.
#include "package.h"
#include "process.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

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

}  // namespace

// Whole in-place runs of vorpkg.exe with the stand-in utility in the
// package: the procedure each Windows version gets, and a run from a drive
// root.
#include "package.h"
#include "process.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Line(const std::string& dir, const char* file, const char* option) {
    return "mervane.exe /l " + dir + "VOR.LOG /s /noreboot /i " + dir + file + option;
}

struct VersionRow {
    const char* winver;
    bool nt;
};

void PrintTo(const VersionRow& r, std::ostream* os) { *os << r.winver; }

class UpdateByVersion : public testing::TestWithParam<VersionRow> {};

// Both markers: NT says nothing of the BIOS and runs the re-run twice.
TEST_P(UpdateByVersion, BothBackLevel) {
    const VersionRow& row = GetParam();
    TempDir pkg;
    MakePackage(pkg.path(), "first both\nrerun clean\n");
    RunSpec spec;
    spec.winver = row.winver;
    spec.startDir = pkg.path();
    RunResult r = RunVorpkg(spec);
    std::string dir = pkg.path() + "\\";
    std::string first = Line(dir, row.nt ? "zorvad.sys" : "zorvad.inf", " /oisafe12");
    std::string rerun = Line(dir, "zorvad.sys", " /oinowdp");
    std::vector<std::string> console, trace;
    if (row.nt) {
        console = {"WinNT command to run is [" + first + "]", "THE DRIVER IS BACKLEVEL",
                   "about to run [" + rerun + "]", "Return Code from vorpkg is 30"};
        trace = {first, rerun, rerun};
    } else {
        console = {"Win2k command to run is [" + first + "]", "THE BIOS IS BACKLEVEL", "THE DRIVER IS BACKLEVEL",
                   "about to run [" + rerun + "]", "Return Code from vorpkg is 30"};
        trace = {first, rerun};
    }
    EXPECT_EQ(r.exitCode, 30);
    EXPECT_EQ(r.lines(), console);
    EXPECT_EQ(ReadTrace(pkg.path()), trace);
}

INSTANTIATE_TEST_SUITE_P(Wine, UpdateByVersion,
                         testing::Values(VersionRow{"nt40", true}, VersionRow{"win2k", false},
                                         VersionRow{"win2003", false}),
                         [](const testing::TestParamInfo<VersionRow>& info) { return std::string(info.param.winver); });

// Started from the root of the update CD: the work directory is E:\ with a
// second backslash, and every line carries both.
TEST(UpdateFromDriveRoot, LinesKeepTheDoubledBackslash) {
    MakePackage(CdDir(), "first driver\n");
    RunSpec spec;
    spec.winver = "nt40";
    spec.startDir = "E:\\";
    RunResult r = RunVorpkg(spec);
    std::string first = "mervane.exe /l E:\\\\VOR.LOG /s /noreboot /i E:\\\\zorvad.sys /oisafe12";
    std::string rerun = "mervane.exe /l E:\\\\VOR.LOG /s /noreboot /i E:\\\\zorvad.sys /oinowdp";
    std::vector<std::string> console = {"WinNT command to run is [" + first + "]", "THE DRIVER IS BACKLEVEL",
                                        "about to run [" + rerun + "]", "Return Code from vorpkg is 28"};
    EXPECT_EQ(r.exitCode, 28);
    EXPECT_EQ(r.lines(), console);
    EXPECT_EQ(ReadTrace(CdDir()), (std::vector<std::string>{first, rerun, rerun}));
    EXPECT_TRUE(FileExists(CdDir() + "\\VOR.LOG"));
}

}  // namespace

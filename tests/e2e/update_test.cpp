// Whole in-place runs of vorpkg.exe with the stand-in utility in the
// package: the procedure each Windows version gets, a run from a drive root,
// and work directories that are refused.
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

// A package folder that cannot be handed to the utility: one message, no
// run, result 1.
TEST(UpdateRefused, BlankOrTooLongFolder) {
    TempDir base;
    struct Case {
        std::string pkg;
        const char* message;
    };
    std::string padded = base.path() + "\\" + std::string(95 - base.path().size() - 2, 'p');
    const Case cases[] = {
        {base / "pkg with blank", "Update directory name cannot be passed to the update utility: "},
        {padded, "Update directory path is too long: "},
    };
    for (const Case& c : cases) {
        for (const char* winver : {"nt40", "win2k"}) {
            SCOPED_TRACE(c.pkg + " " + winver);
            MakePackage(c.pkg, "first driver\n");
            RunSpec spec;
            spec.winver = winver;
            spec.startDir = c.pkg;
            RunResult r = RunVorpkg(spec);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.lines(), (std::vector<std::string>{c.message + c.pkg + "\\", "Return Code from vorpkg is 1"}));
            EXPECT_TRUE(ReadTrace(c.pkg).empty());
            EXPECT_FALSE(FileExists(c.pkg + "\\VOR.LOG"));
        }
    }
}

}  // namespace

// The update utility's command lines and the interpreter line, composed
// without running anything, and the work directories that are refused.
#include "common/limits.h"
#include "update/cmdline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Lines {
    std::string first;
    std::string rerun;
};

Lines NtLines(const char* dir) {
    char base[kDirSize], cmd[kDirSize];
    Lines l;
    EXPECT_TRUE(ComposeBaseLine(base, kDirSize, dir, kDriverFile));
    EXPECT_TRUE(ComposeRunLine(cmd, kDirSize, base, "", kFirstRunOption));
    l.first = cmd;
    EXPECT_TRUE(ComposeRunLine(cmd, kDirSize, base, "", kReRunOption));
    l.rerun = cmd;
    return l;
}

Lines Win2kLines(const char* dir) {
    char base[kDirSize], cmd[kDirSize];
    Lines l;
    EXPECT_TRUE(ComposeBaseLine(base, kDirSize, dir, ""));
    EXPECT_TRUE(ComposeRunLine(cmd, kDirSize, base, kSetupFile, kFirstRunOption));
    l.first = cmd;
    EXPECT_TRUE(ComposeRunLine(cmd, kDirSize, base, kDriverFile, kReRunOption));
    l.rerun = cmd;
    return l;
}

TEST(UpdateLines, ForUpdateFolder) {
    Lines nt = NtLines("E:\\UPDATE\\");
    EXPECT_EQ(nt.first, "mervane.exe /l E:\\UPDATE\\VOR.LOG /s /noreboot /i E:\\UPDATE\\zorvad.sys /oisafe12");
    EXPECT_EQ(nt.rerun, "mervane.exe /l E:\\UPDATE\\VOR.LOG /s /noreboot /i E:\\UPDATE\\zorvad.sys /oinowdp");
    Lines w2k = Win2kLines("E:\\UPDATE\\");
    EXPECT_EQ(w2k.first, "mervane.exe /l E:\\UPDATE\\VOR.LOG /s /noreboot /i E:\\UPDATE\\zorvad.inf /oisafe12");
    EXPECT_EQ(w2k.rerun, nt.rerun);
    char path[kSysDirSize];
    ASSERT_TRUE(ComposeToolLogPath(path, kSysDirSize, "E:\\UPDATE\\"));
    EXPECT_STREQ(path, "E:\\UPDATE\\VOR.LOG");
}

// A drive root arrives with two backslashes and stays so.
TEST(UpdateLines, DriveRootKeepsBothBackslashes) {
    EXPECT_EQ(NtLines("E:\\\\").first, "mervane.exe /l E:\\\\VOR.LOG /s /noreboot /i E:\\\\zorvad.sys /oisafe12");
}

// The longest directory gives the longest line the runner takes.
TEST(UpdateLines, LengthsAtTheLongestDirectory) {
    std::string dir = "C:\\" + std::string(90, 'd') + "\\";
    ASSERT_EQ(dir.size(), kMaxWorkDirLength);
    for (const Lines& l : {NtLines(dir.c_str()), Win2kLines(dir.c_str())}) {
        EXPECT_EQ(l.first.size(), 247u);
        EXPECT_EQ(l.rerun.size(), 246u);
        char line[kPathSize];
        EXPECT_TRUE(ComposeInterpreterLine(line, kPathSize, l.first.c_str()));
        EXPECT_EQ(std::strlen(line), 259u);
    }
}

TEST(InterpreterLine, QuotesTheCommandAndRefusesOverlong) {
    char line[kPathSize];
    ASSERT_TRUE(ComposeInterpreterLine(line, kPathSize, ""));
    EXPECT_STREQ(line, "cmd /d /c \"\"");
    ASSERT_TRUE(ComposeInterpreterLine(line, kPathSize, "a \"b\" & c"));
    EXPECT_STREQ(line, "cmd /d /c \"a \"b\" & c\"");
    std::string fits(247, 'x');
    ASSERT_TRUE(ComposeInterpreterLine(line, kPathSize, fits.c_str()));
    EXPECT_EQ(line, "cmd /d /c \"" + fits + "\"");
    std::string over(248, 'x');
    EXPECT_FALSE(ComposeInterpreterLine(line, kPathSize, over.c_str()));
    EXPECT_STREQ(line, "");
}

// Composers refuse rather than overrun, and leave an empty buffer.
TEST(UpdateLines, OverflowIsRefused) {
    char small[40];
    std::memset(small, 'z', sizeof small);
    EXPECT_FALSE(ComposeBaseLine(small, sizeof small, "C:\\UPDATE\\", kDriverFile));
    EXPECT_STREQ(small, "");
    char base[kDirSize];
    std::string dir = "C:\\" + std::string(150, 'd') + "\\";
    EXPECT_FALSE(ComposeBaseLine(base, kDirSize, dir.c_str(), kDriverFile));
}

struct DirRow {
    const char* name;
    std::string dir;
    WorkDirCheck expected;
};

void PrintTo(const DirRow& r, std::ostream* os) { *os << r.name; }

const DirRow kDirs[] = {
    {"plain", "C:\\UPDATE\\", kWorkDirOk},
    {"drive_root", "E:\\\\", kWorkDirOk},
    {"length_94", "C:\\" + std::string(90, 'a') + "\\", kWorkDirOk},
    {"length_95", "C:\\" + std::string(91, 'a') + "\\", kWorkDirTooLong},
    {"length_95_with_blank", "C:\\ " + std::string(90, 'a') + "\\", kWorkDirTooLong},
    {"punctuation_kept", "C:\\pkg-1.0_(x86)+[a]{b}~#$@!',;=`\\", kWorkDirOk},
    {"ansi_letters", "C:\\Pak\xE9t\xFC\\", kWorkDirOk},
    {"blank", "C:\\Program Files\\pkg\\", kWorkDirUnsafe},
    {"tab", "C:\\a\tb\\", kWorkDirUnsafe},
    {"line_feed", "C:\\a\nb\\", kWorkDirUnsafe},
    {"control_1", "C:\\a\x01" "b\\", kWorkDirUnsafe},
    {"control_1f", "C:\\a\x1f" "b\\", kWorkDirUnsafe},
    {"delete", "C:\\a\x7f" "b\\", kWorkDirUnsafe},
    {"quote", "C:\\a\"b\\", kWorkDirUnsafe},
    {"ampersand", "C:\\a&b\\", kWorkDirUnsafe},
    {"pipe", "C:\\a|b\\", kWorkDirUnsafe},
    {"less", "C:\\a<b\\", kWorkDirUnsafe},
    {"greater", "C:\\a>b\\", kWorkDirUnsafe},
    {"caret", "C:\\a^b\\", kWorkDirUnsafe},
    {"percent", "C:\\%TEMP%\\", kWorkDirUnsafe},
};

class WorkDirTable : public testing::TestWithParam<DirRow> {};

TEST_P(WorkDirTable, Checks) {
    EXPECT_EQ(CheckWorkDir(GetParam().dir.c_str()), GetParam().expected) << GetParam().dir;
}

INSTANTIATE_TEST_SUITE_P(Table, WorkDirTable, testing::ValuesIn(kDirs),
                         [](const testing::TestParamInfo<DirRow>& info) { return std::string(info.param.name); });

}  // namespace

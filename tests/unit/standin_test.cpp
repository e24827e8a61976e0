// The stand-in utility itself, started directly with exact command lines:
// which lines it takes, what it traces, and the logs its scenarios write.
#include "package.h"
#include "winfs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Start(const std::string& exe, const std::string& line) {
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(exe.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << exe;
        return -1;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return static_cast<int>(code);
}

struct LineRow {
    const char* name;
    const char* tail;  // after "mervane.exe", with %D for the package folder
    bool accepted;
};

void PrintTo(const LineRow& r, std::ostream* os) { *os << r.name; }

const LineRow kLineRows[] = {
    {"first_run", " /l %D\\VOR.LOG /s /noreboot /i %D\\zorvad.inf /oisafe12", true},
    {"rerun", " /l %D\\VOR.LOG /s /noreboot /i %D\\zorvad.sys /oinowdp", true},
    {"no_options", "", false},
    {"double_blank", " /l %D\\VOR.LOG  /s /noreboot /i %D\\zorvad.sys /oinowdp", false},
    {"trailing_blank", " /l %D\\VOR.LOG /s /noreboot /i %D\\zorvad.sys /oinowdp ", false},
    {"tab", " /l %D\\VOR.LOG\t/s /noreboot /i %D\\zorvad.sys /oinowdp", false},
    {"option_case", " /L %D\\VOR.LOG /s /noreboot /i %D\\zorvad.sys /oinowdp", false},
    {"other_last_option", " /l %D\\VOR.LOG /s /noreboot /i %D\\zorvad.sys /oisafe", false},
    {"extra_word", " /l %D\\VOR.LOG /s /noreboot /i %D\\zorvad.sys /oinowdp /x", false},
    {"missing_file", " /l %D\\VOR.LOG /s /noreboot /i %D\\nothing.sys /oinowdp", false},
    {"split_folder", " /l %D\\a b\\VOR.LOG /s /noreboot /i %D\\zorvad.sys /oinowdp", false},
    {"quoted_log", " /l \"%D\\VOR.LOG\" /s /noreboot /i %D\\zorvad.sys /oinowdp", false},
};

std::string Expand(const std::string& tail, const std::string& dir) {
    std::string out;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (tail.compare(i, 2, "%D") == 0) {
            out += dir;
            ++i;
        } else {
            out += tail[i];
        }
    }
    return out;
}

class StandInLine : public testing::TestWithParam<LineRow> {};

// The first word as cmd hands it over, and with the path and quotes a
// direct start gives.
TEST_P(StandInLine, AcceptsOnlyTheUpdateLines) {
    const LineRow& row = GetParam();
    TempDir pkg;
    MakePackage(pkg.path(), "");
    std::string exe = pkg / "mervane.exe";
    std::string tail = Expand(row.tail, pkg.path());
    for (const std::string& first : {std::string("mervane.exe"), "\"" + exe + "\""}) {
        SCOPED_TRACE(first);
        DeleteFileA((pkg / "mervane.trace").c_str());
        DeleteFileA((pkg / "VOR.LOG").c_str());
        std::string line = first + tail;
        int code = Start(exe, line);
        EXPECT_EQ(code, row.accepted ? 0 : 2);
        EXPECT_EQ(ReadTrace(pkg.path()), std::vector<std::string>{(row.accepted ? "" : "REFUSED: ") + line});
        EXPECT_EQ(FileExists(pkg / "VOR.LOG"), row.accepted);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StandInLine, testing::ValuesIn(kLineRows),
                         [](const testing::TestParamInfo<LineRow>& info) { return std::string(info.param.name); });

TEST(StandInScenario, LogsByRunAndExitCode) {
    TempDir pkg;
    MakePackage(pkg.path(), "# comment\r\n\r\nfirst file:given.log\r\nrerun long\r\nexit 28\r\n");
    WriteFileBytes(pkg / "given.log", std::string("a\0b\r\n", 5));
    std::string exe = pkg / "mervane.exe";
    std::string base = "mervane.exe /l " + pkg.path() + "\\VOR.LOG /s /noreboot /i " + pkg.path() + "\\zorvad.sys";
    EXPECT_EQ(Start(exe, base + " /oisafe12"), 28);
    EXPECT_EQ(ReadFileBytes(pkg / "VOR.LOG"), std::string("a\0b\r\n", 5));
    EXPECT_EQ(Start(exe, base + " /oinowdp"), 28);
    std::string log = ReadFileBytes(pkg / "VOR.LOG");
    EXPECT_EQ(log.find("Error Code 28:"), 250u);
    EXPECT_EQ(log.find('\n'), 300u);
}

TEST(StandInScenario, UnknownEntryWritesNoLog) {
    TempDir pkg;
    MakePackage(pkg.path(), "first sideways\n");
    std::string line = "mervane.exe /l " + pkg.path() + "\\VOR.LOG /s /noreboot /i " + pkg.path() + "\\zorvad.sys /oisafe12";
    EXPECT_EQ(Start(pkg / "mervane.exe", line), 3);
    EXPECT_FALSE(FileExists(pkg / "VOR.LOG"));
    EXPECT_EQ(ReadTrace(pkg.path()), std::vector<std::string>{line});
}

// MERVANE_TRACE moves the trace; the child inherits it from us.
TEST(StandInTrace, FileNamedByEnvironment) {
    TempDir pkg;
    MakePackage(pkg.path(), "");
    std::string elsewhere = pkg / "elsewhere.trace";
    std::string set = "MERVANE_TRACE=" + elsewhere;
    _putenv(set.c_str());
    EXPECT_EQ(Start(pkg / "mervane.exe", "mervane.exe /x"), 2);
    _putenv("MERVANE_TRACE=");
    EXPECT_EQ(ReadFileBytes(elsewhere), "REFUSED: mervane.exe /x\n");
    EXPECT_TRUE(ReadTrace(pkg.path()).empty());
}

}  // namespace

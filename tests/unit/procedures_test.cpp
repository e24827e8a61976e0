// Both update procedures in-process with the real interpreter and the
// stand-in utility in a package folder: the lines run (from the stand-in's
// trace), the console lines and the result, for every kind of tool log and
// a utility missing before any of its runs; work directories at and over the
// limit or refused; an interpreter that cannot start.
#include "osoverride.h"
#include "package.h"
#include "update/procedures.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef int (*Procedure)(const char*);

struct Flavour {
    const char* name;
    Procedure run;
    const char* banner;     // the first console line's text before the line
    const char* firstFile;  // the file of the first run
};

const Flavour kNt = {"WinNT", UpdateWinNT, "WinNT command to run is [", "zorvad.sys"};
const Flavour kWin2k = {"Win2k", UpdateWin2k, "Win2k command to run is [", "zorvad.inf"};

std::string FirstLine(const Flavour& f, const std::string& dir) {
    return "mervane.exe /l " + dir + "VOR.LOG /s /noreboot /i " + dir + f.firstFile + " /oisafe12";
}

std::string ReRunLine(const std::string& dir) {
    return "mervane.exe /l " + dir + "VOR.LOG /s /noreboot /i " + dir + "zorvad.sys /oinowdp";
}

struct Outcome {
    int result;
    std::vector<std::string> console;
    std::vector<std::string> trace;
};

// Runs a procedure with dir handed over, the package folder current.
Outcome RunIn(const std::string& pkg, const Flavour& f, const std::string& dir) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    EXPECT_TRUE(SetCurrentDirectoryA(pkg.c_str())) << pkg;
    Outcome o;
    testing::internal::CaptureStdout();
    o.result = f.run(dir.c_str());
    o.console = Lines(testing::internal::GetCapturedStdout());
    SetCurrentDirectoryA(saved);
    o.trace = ReadTrace(pkg);
    return o;
}

// Expected runs and console lines in short: F the first-run line, R the
// re-run line; B "THE BIOS IS BACKLEVEL", D the driver lines with the
// announced re-run, N the message that no new log was left, U the one that
// the new log cannot be read, M the one that the utility is not there.
std::vector<std::string> Runs(const char* code, const Flavour& f, const std::string& dir) {
    std::vector<std::string> v;
    for (const char* c = code; *c; ++c) v.push_back(*c == 'F' ? FirstLine(f, dir) : ReRunLine(dir));
    return v;
}

std::vector<std::string> Console(const char* code, const Flavour& f, const std::string& dir) {
    std::vector<std::string> v = {f.banner + FirstLine(f, dir) + "]"};
    for (const char* c = code; *c; ++c) {
        if (*c == 'B') {
            v.push_back("THE BIOS IS BACKLEVEL");
        } else if (*c == 'N') {
            v.push_back("Update utility left no new log: " + dir + "VOR.LOG");
        } else if (*c == 'U') {
            v.push_back("Update utility log cannot be read: " + dir + "VOR.LOG");
        } else if (*c == 'M') {
            v.push_back("Update utility not found: " + dir + "mervane.exe");
        } else {
            v.push_back("THE DRIVER IS BACKLEVEL");
            v.push_back("about to run [" + ReRunLine(dir) + "]");
        }
    }
    return v;
}

struct LogRow {
    const char* name;
    const char* scenario;
    const char* staleLog;  // VOR.LOG before the run, dated 2001; nullptr: none
    const char* toolFile;  // tool.log, for a scenario "first file:tool.log"
    int result;
    const char* ntConsole;
    const char* ntRuns;
    const char* win2kConsole;
    const char* win2kRuns;
    // The package's own utility: nullptr, there; or kNoUtility or
    // kUtilityFolder in its place. Either way a stand-in waits along PATH.
    const char* utility = nullptr;
    int goneAtCheck = 0;  // the utility vanishes at this look for it (1: the first); 0: never
    int win2kResult = -1;  // where it differs from result
};

void PrintTo(const LogRow& r, std::ostream* os) { *os << r.name; }

const char kNoLog[] = "first none\nrerun none\n";

// Many CR LF lines, the marker after the 255th piece.
std::string LongCrlfLog() {
    std::string log;
    for (int i = 0; i < 300; ++i) log += "line of text\r\n";
    return log + "Error Code 28: back-level\r\n";
}
const std::string kLongCrlf = LongCrlfLog();

const char kFolder[] = "<a folder named VOR.LOG>";
const char kTakenAway[] = "<the new log taken by another program at once>";
const char kFromFile[] = "first file:tool.log\n";
const char kNoUtility[] = "<no mervane.exe>";
const char kUtilityFolder[] = "<a folder named mervane.exe>";

const LogRow kLogRows[] = {
    {"missing_log", kNoLog, nullptr, nullptr, 1, "N", "FF", "N", "F"},
    {"fresh_empty_log", kFromFile, nullptr, "", 0, "", "FF", "", "F"},
    // The utility's exit codes play no part.
    {"clean_exit_28", "first clean\nexit 28\n", nullptr, nullptr, 0, "", "FF", "", "F"},
    {"bios", "first bios\n", nullptr, nullptr, 29, "", "FF", "B", "F"},
    // What the re-run writes is never read.
    {"driver", "first driver\nrerun both\n", nullptr, nullptr, 28, "D", "FRR", "D", "FR"},
    {"both", "first both\n", nullptr, nullptr, 30, "D", "FRR", "BD", "FR"},
    {"driver_crlf", "first crlf\n", nullptr, nullptr, 28, "D", "FRR", "D", "FR"},
    {"driver_straddling_255th", "first long\n", nullptr, nullptr, 28, "D", "FRR", "D", "FR"},
    {"driver_after_zero_byte", "first nul\n", nullptr, nullptr, 28, "D", "FRR", "D", "FR"},
    // A log left by an earlier run counts only when this run wrote it again:
    // unchanged it is not this run's (and is kept), rewritten it is, even at
    // the same size.
    {"old_log_unchanged", kNoLog, "earlier run\r\nError Code 28: back-level\r\n", nullptr, 1, "N", "FF", "N", "F"},
    {"old_empty_log_unchanged", kNoLog, "", nullptr, 1, "N", "FF", "N", "F"},
    {"old_log_rewritten", "first clean\n", "Error Code 28: back-level\r\n", nullptr, 0, "", "FF", "", "F"},
    {"old_log_rewritten_same_size", kFromFile, "Error Code 28: back-level\r\n", "Error Code 29: back-level\r\n", 29,
     "", "FF", "B", "F"},
    {"folder_named_like_the_log", "first driver\n", kFolder, nullptr, 1, "N", "FF", "N", "F"},
    // A new log that cannot be read is no evidence either.
    {"new_log_unreadable", "first driver\n", kTakenAway, nullptr, 1, "U", "FF", "U", "F"},
    {"marker_late_in_long_crlf_log", kFromFile, nullptr, kLongCrlf.c_str(), 28, "D", "FRR", "D", "FR"},
    // A Ctrl-Z byte is no end of the log: the marker behind it counts.
    {"marker_after_ctrl_z", kFromFile, nullptr, "status \x1a\r\nError Code 28: back-level\r\n", 28, "D", "FRR", "D",
     "FR"},
    // Only the package's own utility runs, never one found along PATH: each
    // run looks for it first, and a missing one ends the procedure.
    {"utility_missing", "first driver\n", nullptr, nullptr, 1, "M", "", "M", "", kNoUtility},
    {"utility_is_a_folder", "first driver\n", nullptr, nullptr, 1, "M", "", "M", "", kUtilityFolder},
    {"utility_gone_before_rerun", "first driver\n", nullptr, nullptr, 1, "DM", "F", "DM", "F", nullptr, 2},
    // NT's last run too; 2000 makes none.
    {"utility_gone_before_last_run", "first clean\n", nullptr, nullptr, 1, "M", "F", "", "F", nullptr, 2, 0},
};

// The log an earlier run left: written, then dated back.
void PlaceOldLog(const std::string& pkg, const char* bytes) {
    std::string path = pkg + "\\VOR.LOG";
    if (bytes == kFolder) MakeDirs(path);
    if (bytes == kFolder || bytes == kTakenAway) return;
    WriteFileBytes(path, bytes);
    SYSTEMTIME old = {2001, 5, 0, 4, 12, 0, 0, 0};
    FILETIME written;
    SystemTimeToFileTime(&old, &written);
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &written));
    CloseHandle(h);
}

int g_finds = 0;
HANDLE g_holder = INVALID_HANDLE_VALUE;

// The second look, after the first run, finds the new log; then another
// program opens it for itself alone.
HANDLE WINAPI FindThenTake(LPCSTR name, LPWIN32_FIND_DATAA data) {
    HANDLE h = ::FindFirstFileA(name, data);
    if (++g_finds == 2) g_holder = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return h;
}

int g_toolLooks = 0;
int g_goneAtLook = 0;

DWORD WINAPI VanishingUtility(LPCSTR name) {
    if (++g_toolLooks >= g_goneAtLook) return INVALID_FILE_ATTRIBUTES;
    return ::GetFileAttributesA(name);
}

// Puts a utility along PATH for the life of the guard: the one cmd would
// run if the package's own were missing.
class UtilityOnPath {
public:
    UtilityOnPath() {
        MakePackage(dir_.path(), "first clean\n");
        char saved[32768];
        DWORD n = GetEnvironmentVariableA("PATH", saved, sizeof saved);
        saved_ = n < sizeof saved ? std::string(saved, n) : std::string();
        SetEnvironmentVariableA("PATH", (dir_.path() + ";" + saved_).c_str());
    }
    ~UtilityOnPath() { SetEnvironmentVariableA("PATH", saved_.c_str()); }
    std::vector<std::string> Trace() const { return ReadTrace(dir_.path()); }

private:
    TempDir dir_{"path"};
    std::string saved_;
};

class ToolLog : public testing::TestWithParam<LogRow> {};

TEST_P(ToolLog, DecidesAsTheTableSays) {
    const LogRow& row = GetParam();
    for (const Flavour* f : {&kNt, &kWin2k}) {
        SCOPED_TRACE(f->name);
        TempDir pkg;
        MakePackage(pkg.path(), row.scenario);
        if (row.staleLog) PlaceOldLog(pkg.path(), row.staleLog);
        if (row.toolFile) WriteFileBytes(pkg / "tool.log", row.toolFile);
        if (row.utility) {
            ASSERT_TRUE(DeleteFileA((pkg / "mervane.exe").c_str()));
        }
        if (row.utility == kUtilityFolder) MakeDirs(pkg / "mervane.exe");
        std::string dir = pkg.path() + "\\";
        g_finds = 0;
        g_toolLooks = 0;
        g_goneAtLook = row.goneAtCheck;
        UtilityOnPath stranger;
        Outcome o;
        {
            OsOverride<decltype(&::FindFirstFileA)> find(&OsCalls::FindFirstFileA,
                                                          row.staleLog == kTakenAway ? FindThenTake : ::FindFirstFileA);
            OsOverride<decltype(&::GetFileAttributesA)> look(&OsCalls::GetFileAttributesA,
                                                             row.goneAtCheck ? VanishingUtility : ::GetFileAttributesA);
            o = RunIn(pkg.path(), *f, dir);
        }
        EXPECT_EQ(stranger.Trace(), std::vector<std::string>{}) << "a utility along PATH ran";
        if (g_holder != INVALID_HANDLE_VALUE) CloseHandle(g_holder);
        g_holder = INVALID_HANDLE_VALUE;
        bool nt = f == &kNt;
        EXPECT_EQ(o.result, nt || row.win2kResult < 0 ? row.result : row.win2kResult);
        EXPECT_EQ(o.trace, Runs(nt ? row.ntRuns : row.win2kRuns, *f, dir));
        EXPECT_EQ(o.console, Console(nt ? row.ntConsole : row.win2kConsole, *f, dir));
        if (row.staleLog && row.staleLog != kFolder && row.scenario == kNoLog) {
            EXPECT_EQ(ReadFileBytes(pkg / "VOR.LOG"), row.staleLog) << "the log is left alone";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ToolLog, testing::ValuesIn(kLogRows),
                         [](const testing::TestParamInfo<LogRow>& info) { return std::string(info.param.name); });

// A package folder whose path, with its trailing backslash, has length
// characters: a padded folder inside a fresh TempDir.
std::string PaddedPackage(const TempDir& base, size_t length) {
    size_t used = base.path().size() + 2;
    EXPECT_LT(used, length);
    std::string path = base.path() + "\\" + std::string(length - used, 'p');
    return path;
}

// 94 characters give first-run lines of 247 characters, which still run.
TEST(WorkDir, LongestRuns) {
    for (const Flavour* f : {&kNt, &kWin2k}) {
        SCOPED_TRACE(f->name);
        TempDir base;
        std::string pkg = PaddedPackage(base, 94);
        MakePackage(pkg, "first driver\n");
        std::string dir = pkg + "\\";
        ASSERT_EQ(dir.size(), 94u);
        Outcome o = RunIn(pkg, *f, dir);
        EXPECT_EQ(o.result, 28);
        ASSERT_FALSE(o.trace.empty());
        EXPECT_EQ(o.trace[0].size(), 247u);
        EXPECT_EQ(o.trace, Runs(f == &kNt ? "FRR" : "FR", *f, dir));
        EXPECT_EQ(o.console, Console("D", *f, dir));
    }
}

// One more character: refused before anything runs or is written.
TEST(WorkDir, OneTooLongIsRefused) {
    for (const Flavour* f : {&kNt, &kWin2k}) {
        SCOPED_TRACE(f->name);
        TempDir base;
        std::string pkg = PaddedPackage(base, 95);
        MakePackage(pkg, "first driver\n");
        std::string dir = pkg + "\\";
        Outcome o = RunIn(pkg, *f, dir);
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.console, std::vector<std::string>{"Update directory path is too long: " + dir});
        EXPECT_TRUE(o.trace.empty());
        EXPECT_FALSE(FileExists(pkg + "\\VOR.LOG"));
    }
}

// Folder names that cmd hands on unchanged give exactly the usual lines.
TEST(WorkDir, PunctuationAndAnsiLettersRun) {
    for (const char* folder : {"pkg-1.0_(x86)+[a]{b}~#$@!',;=`", "Pak\xE9t\xFC"}) {
        for (const Flavour* f : {&kNt, &kWin2k}) {
            SCOPED_TRACE(std::string(f->name) + " " + folder);
            TempDir base;
            std::string pkg = base / folder;
            MakePackage(pkg, "first bios\n");
            std::string dir = pkg + "\\";
            Outcome o = RunIn(pkg, *f, dir);
            EXPECT_EQ(o.result, 29);
            EXPECT_EQ(o.trace, Runs(f == &kNt ? "FF" : "F", *f, dir));
        }
    }
}

// In place in a network folder (\\\\server\\share): cmd cannot start there and
// looks for the utility in the Windows directory and along PATH instead.
// Refused before anything runs, though the package's utility is there.
TEST(WorkDir, NetworkFolderIsRefused) {
    TempDir pkg;
    MakePackage(pkg.path(), "first driver\n");
    const std::string servers = WinToHost("C:\\") + "/../dosdevices/unc/vorpkgsrv";
    OnHost("mkdir -p '" + servers + "' && ln -sfn '" + WinToHost(pkg.path()) + "' '" + servers + "/share'");
    const std::string dir = "\\\\vorpkgsrv\\share\\";
    ASSERT_TRUE(FileExists(dir + "mervane.exe"));
    for (const Flavour* f : {&kNt, &kWin2k}) {
        SCOPED_TRACE(f->name);
        Outcome o = RunIn(pkg.path(), *f, dir);
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.console, std::vector<std::string>{"Update directory is a network folder: " + dir});
        EXPECT_TRUE(o.trace.empty());
    }
    OnHost("rm -f '" + servers + "/share'");
}

struct RefusedRow {
    const char* name;
    const char* folder;  // appended to the package path, then a backslash
};

void PrintTo(const RefusedRow& r, std::ostream* os) { *os << r.name; }

const RefusedRow kRefused[] = {
    {"blank", "\\Program Files"},
    {"tab", "\\a\tb"},
    {"control", "\\a\x01" "b"},
    {"delete", "\\a\x7f" "b"},
    {"quote", "\\a\"b"},
    {"ampersand", "\\a&mervane.exe"},
    {"pipe", "\\a|b"},
    {"less", "\\a<b"},
    {"greater", "\\a>b"},
    {"caret", "\\a^b"},
    {"percent", "\\%PATH%"},
};

class RefusedDir : public testing::TestWithParam<RefusedRow> {};

// The utility stands ready in the current directory: a line run by mistake
// would show in its trace.
TEST_P(RefusedDir, RunsNothing) {
    for (const Flavour* f : {&kNt, &kWin2k}) {
        SCOPED_TRACE(f->name);
        TempDir pkg;
        MakePackage(pkg.path(), "first driver\n");
        std::string dir = pkg.path() + GetParam().folder + "\\";
        Outcome o = RunIn(pkg.path(), *f, dir);
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.console,
                  std::vector<std::string>{"Update directory name cannot be passed to the update utility: " + dir});
        EXPECT_TRUE(o.trace.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedDir, testing::ValuesIn(kRefused),
                         [](const testing::TestParamInfo<RefusedRow>& info) { return std::string(info.param.name); });

std::vector<std::string> g_started;

BOOL WINAPI NoInterpreter(LPCSTR, LPSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                          LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
    g_started.push_back(line);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

// The interpreter never starts: said, nothing more is run, and a log from
// before does not stand in for the one it did not write.
TEST(NoInterpreter, ResultFromTheLogAlone) {
    for (const LogRow& row : kLogRows) {
        if (row.name != std::string("missing_log") && row.name != std::string("old_log_unchanged")) continue;
        for (const Flavour* f : {&kNt, &kWin2k}) {
            SCOPED_TRACE(std::string(f->name) + " " + row.name);
            TempDir pkg;
            MakePackage(pkg.path(), "");
            if (row.staleLog) PlaceOldLog(pkg.path(), row.staleLog);
            std::string dir = pkg.path() + "\\";
            g_started.clear();
            Outcome o;
            {
                OsOverride fail(&OsCalls::CreateProcessA, NoInterpreter);
                o = RunIn(pkg.path(), *f, dir);
            }
            EXPECT_EQ(o.result, 1);
            std::vector<std::string> console = Console("", *f, dir);
            console.push_back("Unable to start the update utility: " + FirstLine(*f, dir));
            EXPECT_EQ(o.console, console);
            EXPECT_EQ(g_started, std::vector<std::string>{"cmd /d /c \"" + FirstLine(*f, dir) + "\""});
            EXPECT_TRUE(o.trace.empty());
        }
    }
}

}  // namespace

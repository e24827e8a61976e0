// The fault sweep: whole runs of the scenarios below, first fault-free,
// counting every call through the OS-call and record I/O tables; then once
// for every call point with that call failed, and once for every call point
// that changes the disk (or falls while the result log is open) with the
// run cut off there in a child process and run again fault-free. After each
// run the named checks of the oracle below. Prints every check that fails and
// a summary; exits 1 when any failed.
#include "hooks.h"
#include "standins.h"
#include "winfs.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kRoot = "C:\\vorpkg-tests\\sweep";
const std::string kPackage = kRoot + "\\pkg";
const std::string kSystemDrive = kRoot + "\\sys";  // SYSTEMDRIVE: the result log is below it
const std::string kLog = kSystemDrive + "\\QVLOG\\QV.log";
const std::string kConsoleFile = "C:\\vorpkg-tests\\sweep-console.txt";

const char kOldLines[] =
    "01-02-2003 04:05:06,Update=Earlier Update,New=1.0,Status=Success,ReturnCode=0 \r\n"
    "01-03-2003 04:05:06,Update=Earlier Update,New=1.0,Status=Unknown,ReturnCode=28 \r\n";
// A line an earlier run left unfinished.
const char kOldPiece[] = "01-02-2003 04:05:06,Update=Earlier Update,New=1.0,Status=Success,ReturnCode=0 \r\n01-03-20";

struct Scenario {
    const char* name;
    const char* winver;  // nt40: the NT 4.0 procedure; win2k: the Windows 2000 one
    bool staged;
    const char* firstLog;  // what the utility's first run reports
    bool subFolder;        // the package holds a folder with a file
    const char* oldLog;    // the result log before the run; nullptr: no log folder
    int result;            // of the fault-free run
    std::vector<const char*> extraArgs = {};  // in place only
    // The log folder and file grant Everyone full control: the run makes the
    // folder private and sets the file aside.
    bool logOpenToAll = false;
};

const Scenario kScenarios[] = {
    {"nt4_in_place_clean", "nt40", false, "clean", false, nullptr, 0},
    {"nt4_staged_driver_subfolder", "nt40", true, "driver", true, nullptr, 28},
    {"nt4_in_place_both_old_log_open_to_all", "nt40", false, "both", false, kOldLines, 30, {}, true},
    {"win2k_in_place_driver_old_log", "win2k", false, "driver", false, kOldLines, 28},
    {"win2k_staged_bios_subfolder", "win2k", true, "bios", true, nullptr, 29},
    // "/?" with a second argument is no request for the usage: an ordinary run.
    {"win2k_usage_sign_and_more_in_place_piece_in_log", "win2k", false, "clean", false, kOldPiece, 0,
     {"/?", "x"}},
};
const int kScenarioCount = sizeof kScenarios / sizeof kScenarios[0];

// A fresh disk for the scenario: package, result log, no staging areas left.
void Reset(const Scenario& s) {
    SetCurrentDirectoryA("C:\\");
    RemoveTree(kRoot);
    RemoveStagingAreas();
    MakeDirs(kPackage);
    MakeDirs(kSystemDrive);
    WriteFileBytes(kPackage + "\\mervane.exe", "played by the sweep\r\n");
    WriteFileBytes(kPackage + "\\zorvad.sys", "zorvad driver image\r\n");
    WriteFileBytes(kPackage + "\\zorvad.inf", "[Version]\r\n");
    WriteFileBytes(kPackage + "\\version.id", "Sample Driver Update\r\n2.04.11\r\n");
    if (s.subFolder) {
        MakeDirs(kPackage + "\\drivers");
        WriteFileBytes(kPackage + "\\drivers\\readme.txt", "the sub-folder's file\r\n");
    }
    if (s.oldLog != nullptr) {
        MakeDirs(kSystemDrive + "\\QVLOG");
        WriteFileBytes(kLog, s.oldLog);
    }
    if (s.logOpenToAll) {
        // Wine keeps a DACL as Unix modes: Everyone's full control is 0777.
        PSECURITY_DESCRIPTOR open = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;FA;;;WD)(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
                                                             &open, nullptr);
        for (const std::string& path : {kSystemDrive + "\\QVLOG", kLog})
            SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, open);
        LocalFree(open);
    }
}

// Console lines, staging folders named alike.
std::vector<std::string> ConsoleLines(const std::string& text) {
    std::vector<std::string> lines = Lines(text);
    for (std::string& line : lines) line = SameStagingName(line);
    return lines;
}

struct Outcome {
    int result = 0;
    bool exited = false;   // through exit: no final line
    bool bounded = false;  // ended for making too many calls
    long calls = 0;
    std::vector<std::string> console;
    UtilityRuns utility;
    std::string log;  // the result log after the run
};

// The result log with what was set aside of it first (a log open to others
// is renamed whole and a new one started): every line the log ever held.
std::string LogAsKept() {
    std::string kept;
    std::vector<std::string> names = DirExists(kSystemDrive + "\\QVLOG") ? ListDir(kSystemDrive + "\\QVLOG")
                                                                          : std::vector<std::string>{};
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        if (name.compare(0, 28, "QV-open-to-others-set-aside-") == 0)
            kept += ReadFileBytes(kSystemDrive + "\\QVLOG\\" + name);
    return kept + (FileExists(kLog) ? ReadFileBytes(kLog) : "");
}

// One whole run in this process, in the scenario's start directory, its
// console caught in a file.
Outcome RunHere(const Scenario& s, FaultKind kind, long point, long bound, std::vector<CallPoint>* points) {
    SetStage(s.winver, s.firstLog, "clean", kPackage);
    ResetUtility();
    SetCurrentDirectoryA(s.staged ? kRoot.c_str() : kPackage.c_str());
    std::vector<char*> argv = {const_cast<char*>("vorpkg")};
    if (s.staged) argv.push_back(const_cast<char*>(kPackage.c_str()));
    if (!s.staged)
        for (const char* a : s.extraArgs) argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);

    fflush(stdout);
    int saved = _dup(1);
    int file = _open(kConsoleFile.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
    _dup2(file, 1);
    _close(file);
    Outcome o;
    ArmRun(kind, point, bound, points);
    o.result = GuardedRun(static_cast<int>(argv.size()) - 1, argv.data(), &o.exited, &o.bounded);
    o.calls = CallsMade();
    fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    CloseLeftHandles();
    SetCurrentDirectoryA("C:\\");
    o.console = ConsoleLines(ReadFileBytes(kConsoleFile));
    o.utility = Utility();
    o.log = LogAsKept();
    return o;
}

// The run cut off at point, in a child process of this program.
bool CutOffInChild(int scenario, long point, std::string* why) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = "sweep --cut " + std::to_string(scenario) + " " + std::to_string(point);
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi;
    std::vector<char> cmd(line.begin(), line.end());
    cmd.push_back('\0');
    BOOL started = CreateProcessA(self, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, "C:\\", &si, &pi);
    CloseHandle(nul);
    if (!started) {
        *why = "cannot start the child: error " + std::to_string(GetLastError());
        return false;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (code == static_cast<DWORD>(kCutExit)) return true;
    *why = "the child was not cut off (exit code " + std::to_string(code) + ")";
    return false;
}

// --- the oracle --------------------------------------------------------

// "MM-DD-YYYY hh:mm:ss" at the start of a record, as any other.
std::string Unstamped(const std::string& text) {
    std::string out = text;
    for (size_t at = 0; at + 19 <= out.size(); at = out.find('\n', at) + 1) {
        if (out.compare(at, 1, "\r") == 0) at += 2;
        if (at + 19 <= out.size() && out[at + 2] == '-' && out[at + 13] == ':') out.replace(at, 19, "<stamp>");
        if (out.find('\n', at) == std::string::npos) break;
    }
    return out;
}

// What the run added to the result log, or why that is not all it did.
bool Added(const std::string& before, const std::string& after, std::string* added) {
    if (after.compare(0, before.size(), before) != 0) return false;
    *added = after.substr(before.size());
    return true;
}

// One whole record line, on a line of its own.
bool OneWholeLine(const std::string& before, std::string added) {
    if (added.empty()) return true;
    bool piece = !before.empty() && before.back() != '\n';
    if (piece) {
        if (added.compare(0, 2, "\r\n") != 0) return false;
        added = added.substr(2);
        if (added.empty()) return true;
    }
    return added.size() > 22 && added.find('\n') == added.size() - 1 && added.compare(added.size() - 3, 3, " \r\n") == 0 &&
           added.find(",Update=") == 19;
}

// Everything the run did outside its own process: the utility's runs, the
// copy it ran in, and the record.
std::string Doings(const Outcome& o, const std::string& before) {
    std::string d;
    for (const std::string& r : o.utility.runs) d += "run: " + r + "\n";
    d += "copy:\n" + o.utility.copy;
    std::string added;
    d += "record: " + (Added(before, o.log, &added) ? Unstamped(added) : "<old lines changed>");
    return d;
}

struct Check {
    const char* name;
    std::string detail;
};

const char kReturnLine[] = "Return Code from vorpkg is ";

std::vector<Check> CheckRun(const Scenario& s, const Outcome& base, const Outcome& o, const char* faulted) {
    std::vector<Check> failed;
    const std::string before = s.oldLog ? s.oldLog : "";
    if (o.bounded) {
        failed.push_back({"returns", "over " + std::to_string(o.calls - 1) + " calls"});
        return failed;
    }
    bool same = Doings(o, before) == Doings(base, before);
    bool versionFailed = faulted != nullptr && strcmp(faulted, "GetVersionExA") == 0;
    if (o.result == base.result ? !same : !(o.result == 1 || (o.result == 9 && versionFailed))) {
        std::string detail = "result " + std::to_string(o.result) + " (fault-free " + std::to_string(base.result) + ")";
        if (!same) detail += ", and the run did otherwise:\n" + Doings(o, before) + "\nfault-free:\n" + Doings(base, before);
        failed.push_back({"result", detail});
    }
    if (o.result == 1) {
        bool says = false;
        for (const std::string& line : o.console)
            says = says || std::find(base.console.begin(), base.console.end(), line) == base.console.end();
        if (!says) failed.push_back({"says-why", "result 1 with no console line of its own"});
    }
    std::string last = o.console.empty() ? "" : o.console.back();
    bool printed = false;
    for (const std::string& line : o.console) printed = printed || line.compare(0, sizeof kReturnLine - 1, kReturnLine) == 0;
    if (printed ? last != kReturnLine + std::to_string(o.result) : o.result != 1)
        failed.push_back({"return-line", "result " + std::to_string(o.result) + ", last line [" + last + "]"});
    std::string added;
    if (!Added(before, o.log, &added) || !OneWholeLine(before, added))
        failed.push_back({"log", "old lines changed or more than one whole line added: [" + o.log + "]"});
    return failed;
}

std::vector<std::string> WithoutMadePrivate(std::vector<std::string> lines) {
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& l) {
                                   return l.find(" made private: ") != std::string::npos ||
                                          l.find(", set aside as: ") != std::string::npos;
                               }),
                lines.end());
    return lines;
}

// After a cut-off, a fault-free run: as if nothing had happened before it,
// but for one more line (whole) that the cut-off run may have added.
std::vector<Check> CheckAfterCut(const Scenario& s, const Outcome& base, const Outcome& o) {
    std::vector<Check> failed;
    std::string before = s.oldLog ? s.oldLog : "";
    std::string baseAdded, added;
    Added(before, base.log, &baseAdded);
    if (o.bounded) failed.push_back({"returns", "over " + std::to_string(o.calls - 1) + " calls"});
    if (!Added(before, o.log, &added)) {
        failed.push_back({"log", "old lines changed: [" + o.log + "]"});
        return failed;
    }
    // The cut-off run's line, if it got that far, then this run's (which
    // needs no line end before it when the cut-off run wrote one).
    if (baseAdded.compare(0, 2, "\r\n") == 0 && added.compare(0, 2, "\r\n") == 0 && added.size() > baseAdded.size())
        baseAdded = baseAdded.substr(2);
    std::string ours = added.size() >= baseAdded.size() ? added.substr(added.size() - baseAdded.size()) : "";
    std::string earlier = added.substr(0, added.size() - ours.size());
    if (Unstamped(ours) != Unstamped(baseAdded) || !OneWholeLine(before, earlier))
        failed.push_back({"log", "not one record as undisturbed, after at most one whole line: [" + o.log + "]"});
    Outcome same = o;
    same.log = base.log;
    // A log folder or file the cut-off run already made private or set aside
    // needs it no more: the line that says so is the state found, not the
    // run's doing.
    if (o.result != base.result || Doings(same, before) != Doings(base, before) ||
        WithoutMadePrivate(o.console) != WithoutMadePrivate(base.console))
        failed.push_back({"after-cut", "result " + std::to_string(o.result) + ", ran:\n" + Doings(same, before) +
                                           "\nundisturbed:\n" + Doings(base, before)});
    return failed;
}

int g_failedChecks = 0;

void Report(const Scenario& s, const char* kind, long point, const char* entry, const std::vector<Check>& failed) {
    for (const Check& c : failed) {
        ++g_failedChecks;
        printf("FAIL %s, %s at call %ld (%s): check %s: %s\n", s.name, kind, point, entry ? entry : "?", c.name,
               c.detail.c_str());
    }
}

int CutChild(int scenario, long point) {
    const Scenario& s = kScenarios[scenario];
    RunHere(s, kCut, point, 1000000, nullptr);
    return 3;  // the point was never reached
}

}  // namespace

int main(int argc, char** argv) {
    InstallHooks();
    InstallStandIns();
    _putenv(("SYSTEMDRIVE=" + kSystemDrive).c_str());
    if (argc == 4 && strcmp(argv[1], "--cut") == 0) return CutChild(atoi(argv[2]), atol(argv[3]));

    DWORD start = GetTickCount();
    // Whether all points are cut off, or only those that change the disk or
    // fall while the result log is open.
    bool cutAll = getenv("SWEEP_CUT_ALL") != nullptr;
    std::set<std::string> called;
    long points = 0, failRuns = 0, cutRuns = 0;
    for (int i = 0; i < kScenarioCount; ++i) {
        const Scenario& s = kScenarios[i];
        std::vector<CallPoint> calls;
        Reset(s);
        Outcome base = RunHere(s, kNoFault, 0, 1000000, &calls);
        Report(s, "fault-free", 0, "-", CheckRun(s, base, base, nullptr));
        if (base.result != s.result || base.exited) {
            printf("FAIL %s: fault-free result %d, not %d\n", s.name, base.result, s.result);
            ++g_failedChecks;
            continue;
        }
        const long bound = 2 * static_cast<long>(calls.size()) + 100;
        long fails = 0, cuts = 0;
        for (size_t k = 1; k <= calls.size(); ++k) {
            const CallPoint& p = calls[k - 1];
            called.insert(p.entry);
            if (!p.canFail) continue;
            Reset(s);
            std::vector<CallPoint> made;
            Outcome o = RunHere(s, kFail, static_cast<long>(k), bound, &made);
            std::vector<Check> failed = CheckRun(s, base, o, p.entry);
            // The k-th call must be the one the fault-free run made there.
            for (size_t j = 0; j < k && j < made.size(); ++j)
                if (strcmp(made[j].entry, calls[j].entry) != 0) {
                    failed.push_back({"replay", "call " + std::to_string(j + 1) + " was " + made[j].entry});
                    break;
                }
            Report(s, "fail", static_cast<long>(k), p.entry, failed);
            ++fails;
        }
        for (size_t k = 1; k <= calls.size(); ++k) {
            const CallPoint& p = calls[k - 1];
            if (!cutAll && !p.changesDisk && !p.logOpen) continue;
            Reset(s);
            std::string why;
            if (!CutOffInChild(i, static_cast<long>(k), &why)) {
                Report(s, "cut off", static_cast<long>(k), p.entry, {{"cut", why}});
                continue;
            }
            Outcome o = RunHere(s, kNoFault, 0, bound, nullptr);
            Report(s, "cut off", static_cast<long>(k), p.entry, CheckAfterCut(s, base, o));
            ++cuts;
        }
        printf("sweep: %s: %zu call points, %ld failed in turn, %ld cut off; result %d\n", s.name, calls.size(),
               fails, cuts, base.result);
        points += static_cast<long>(calls.size());
        failRuns += fails;
        cutRuns += cuts;
    }
    std::string never;
    for (const char* name : EntryNames())
        if (called.count(name) == 0) never += std::string(never.empty() ? "" : ", ") + name;
    printf("sweep: entries no fault-free run calls: %s\n", never.empty() ? "none" : never.c_str());
    Reset(kScenarios[0]);
    RemoveTree(kRoot);
    DeleteFileA(kConsoleFile.c_str());
    printf("sweep: %d scenarios, %ld call points, %ld runs with a call failed, %ld cut off and run again, "
           "%d checks failed, %lu s\n",
           kScenarioCount, points, failRuns, cutRuns, g_failedChecks,
           static_cast<unsigned long>((GetTickCount() - start + 500) / 1000));
    return g_failedChecks == 0 ? 0 : 1;
}

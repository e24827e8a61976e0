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

#include <ctype.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <map>
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

// Whether the console names the staging area or file path (C:\QVTxxxx.tmp).
bool ConsoleNames(const std::string& console, const std::string& path) {
    auto same = [](char a, char b) { return toupper(static_cast<unsigned char>(a)) == toupper(static_cast<unsigned char>(b)); };
    return std::search(console.begin(), console.end(), path.begin(), path.end(), same) != console.end();
}

// The system drive's root (where staging areas go), the result log's drive
// and the package folder, every entry named alike. A staging area (or a
// staging name's file) that the run's console names is the run's: named
// QVT*, with what it holds. One the console does not name keeps its own
// name, without its contents: a leftover of no known run.
std::multiset<std::string> DiskState(const std::string& console) {
    std::multiset<std::string> state;
    for (const std::string& e : ListDir("C:\\")) {
        std::string path = "C:\\" + e + (DirExists("C:\\" + e) ? "\\" : "");
        if (e.compare(0, 3, "QVT") != 0 || !ConsoleNames(console, "C:\\" + e)) {
            state.insert(path);
            continue;
        }
        state.insert(SameStagingName(path));
        if (path.back() == '\\')
            for (const std::string& below : ListTree("C:\\" + e)) state.insert(SameStagingName(path + below));
    }
    // A log set aside is named by its run's stamp: named alike too.
    const std::string aside = "QV-open-to-others-set-aside-";
    for (std::string e : ListTree(kSystemDrive)) {
        size_t at = e.find(aside);
        if (at != std::string::npos) e = e.substr(0, at + aside.size()) + "*.log";
        state.insert("<sys>\\" + e);
    }
    for (const std::string& e : ListTree(kPackage)) state.insert("<package>\\" + e);
    return state;
}

std::multiset<std::string> g_rootBefore;  // the drive root as the scenario found it

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
    g_rootBefore = DiskState("");
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
    std::string rawConsole;  // staging folders by their own names
    UtilityRuns utility;
    std::string log;  // the result log after the run
    std::string from, to;  // local time before and after, "YYYYMMDDhhmmss"
    int handlesLeft = 0;
    std::multiset<std::string> made;  // what the run left in the roots and the work folder
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

std::string Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

// One whole run in this process, in the scenario's start directory, its
// console caught in a file.
Outcome RunHere(const Scenario& s, FaultKind kind, Fault first, long bound, std::vector<CallPoint>* points,
                Fault second = {0, 0}) {
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
    ArmRun(kind, first, bound, points, second);
    o.from = Now();
    o.result = GuardedRun(static_cast<int>(argv.size()) - 1, argv.data(), &o.exited, &o.bounded);
    o.to = Now();
    o.calls = CallsMade();
    fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    o.handlesLeft = CloseLeftHandles();
    SetCurrentDirectoryA("C:\\");
    o.rawConsole = ReadFileBytes(kConsoleFile);
    o.console = ConsoleLines(o.rawConsole);
    o.utility = Utility();
    o.log = LogAsKept();
    for (const std::string& e : DiskState(o.rawConsole))
        if (o.made.count(e) + 1 > g_rootBefore.count(e)) o.made.insert(e);
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

// What a check is told of one faulted run.
struct Run {
    const Scenario& s;
    const Outcome& base;  // the fault-free run
    const Outcome& o;
    const std::vector<std::string> faulted;  // the entries failed (first, second)
    std::vector<Check>* failed;
};

bool Faulted(const Run& r, const char* entry) {
    return std::find(r.faulted.begin(), r.faulted.end(), entry) != r.faulted.end();
}

// Differences from the fault-free run that no program could avoid, each
// marked where its check stands, counted and named in the summary.
std::map<std::string, long> g_accepted;

bool Accept(const char* why) {
    ++g_accepted[why];
    return true;
}

std::vector<std::string> WithoutMadePrivate(std::vector<std::string> lines);

// Lines that only enclose an inner failure's own message.
const char* const kEnclosing[] = {"Copying update files to the hard drive failed.",
                                  "Unable to copy sub-directory update files to the hard drive."};

// A run that ends 1 says why in a line of its own: not the final line, not
// an enclosing one, and not one the fault-free run prints too.
void SaysWhy(const Run& r) {
    if (r.o.result != 1) return;
    for (const std::string& line : r.o.console) {
        if (line.compare(0, sizeof kReturnLine - 1, kReturnLine) == 0) continue;
        if (std::find(std::begin(kEnclosing), std::end(kEnclosing), line) != std::end(kEnclosing)) continue;
        if (std::find(r.base.console.begin(), r.base.console.end(), line) == r.base.console.end()) return;
    }
    r.failed->push_back({"says-why", "result 1 with no console line of its own"});
}

// The record this run appended, its piece-mending line end left off.
std::string AddedRecord(const Run& r) {
    std::string before = r.s.oldLog ? r.s.oldLog : "";
    std::string added;
    if (!Added(before, r.o.log, &added)) return "";
    if (added.compare(0, 2, "\r\n") == 0) added = added.substr(2);
    return added;
}

std::string Field(const std::string& line, const std::string& name) {
    size_t at = line.find("," + name + "=");
    if (at == std::string::npos) return "<none>";
    at += name.size() + 2;
    size_t end = line.find_first_of(", \r", at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Whatever the result: the utility runs only as the fault-free run runs it,
// in the work folder, one after the other and each awaited before the next,
// nothing after a run that did not start; a staged run records nothing; a
// record says what the run ended with, in its own time.
void Safe(const Run& r, const std::vector<CallPoint>& made, Fault first, Fault second) {
    std::set<std::string> known(r.base.utility.runs.begin(), r.base.utility.runs.end());
    const std::vector<std::string>& runs = r.o.utility.runs;
    for (size_t i = 0; i < runs.size(); ++i) {
        std::string run = runs[i];
        bool awaited = run.size() < 14 || run.compare(run.size() - 14, 14, " | not awaited") != 0;
        if (!awaited) run = run.substr(0, run.size() - 14);
        if (known.count(run) == 0) r.failed->push_back({"safe", "a run the fault-free run does not make: " + runs[i]});
        if (!awaited && i + 1 < runs.size())
            r.failed->push_back({"safe", "a run after one not awaited: " + runs[i + 1]});
    }
    for (size_t j = 0; j < made.size(); ++j) {
        long k = static_cast<long>(j) + 1;
        if ((k != first.point && k != second.point) || strcmp(made[j].entry, "CreateProcessA") != 0) continue;
        for (size_t l = j + 1; l < made.size(); ++l)
            if (strcmp(made[l].entry, "CreateProcessA") == 0) {
                r.failed->push_back({"safe", "a run after one that did not start, at call " + std::to_string(l + 1)});
                break;
            }
    }
    std::string record = AddedRecord(r);
    if (record.empty()) return;
    if (r.s.staged) r.failed->push_back({"safe", "a staged run appended a record: " + record});
    // A failed line whose cut failed too stays, whole or in part: the run
    // says "Log File Write Failed!" and ends 1 (the log check sees the piece).
    if (r.o.result == 1 && Faulted(r, "cut") && Accept("a failed line whose cut failed too, the run ended 1")) return;
    std::string baseRecord = AddedRecord({r.s, r.base, r.base, {}, nullptr});
    std::string code = Field(record, "ReturnCode");
    std::string status = Field(record, "Status");
    bool agrees = code == std::to_string(r.o.result) && status == (code == "0" ? "Success" : "Unknown");
    // A close that reports a late error: the line may not be on disk, and
    // the run says so and ends 1.
    if (!agrees && r.o.result == 1 && Faulted(r, "close") && Accept("a record whose close failed, the run ended 1"))
        agrees = code == std::to_string(r.base.result);
    if (!agrees || Field(record, "Update") != Field(baseRecord, "Update") ||
        Field(record, "New") != Field(baseRecord, "New"))
        r.failed->push_back({"safe", "result " + std::to_string(r.o.result) + ", record: " + record});
    // "MM-DD-YYYY hh:mm:ss"
    std::string stamp = record.size() >= 19 ? record.substr(6, 4) + record.substr(0, 2) + record.substr(3, 2) +
                                                  record.substr(11, 2) + record.substr(14, 2) + record.substr(17, 2)
                                            : "";
    if (stamp < r.o.from || stamp > r.o.to)
        r.failed->push_back({"safe", "record stamped outside the run (" + r.o.from + " to " + r.o.to + "): " + record});
}

// The fault-free result comes with the fault-free console.
void Console(const Run& r) {
    if (r.o.result != r.base.result || WithoutMadePrivate(r.o.console) == WithoutMadePrivate(r.base.console)) return;
    std::string shown;
    for (const std::string& line : r.o.console) shown += "\n  " + line;
    r.failed->push_back({"console", "the fault-free result with another console:" + shown});
}

// Nothing left in the roots or the work folder that the fault-free run does
// not leave, and no handle left open. A staging area the console names is
// the run's, compared with the fault-free run's; one it does not name is
// left behind, whatever the fault-free run leaves.
void Leftovers(const Run& r) {
    // A staged run that fails before any line names its area (no failure
    // message of staging names it) leaves it unnamed: one such is its own.
    bool namesArea = std::any_of(r.o.console.begin(), r.o.console.end(),
                                 [](const std::string& l) { return l.find("\\QVT*.tmp") != std::string::npos; });
    bool ownUnnamed = !namesArea && r.o.result != r.base.result && r.base.made.count("C:\\QVT*.tmp\\") == 1;
    for (const std::string& e : r.o.made) {
        bool unnamed = e.compare(0, 6, "C:\\QVT") == 0 && e.compare(0, 7, "C:\\QVT*") != 0;
        if (!unnamed && r.o.made.count(e) <= r.base.made.count(e)) continue;
        if (unnamed && e.back() == '\\' && ownUnnamed &&
            Accept("a staging area left unnamed by a staged run that failed before a line names it")) {
            ownUnnamed = false;
            continue;
        }
        // The staging name's temporary file, when its delete failed.
        bool tempFile = e.compare(0, 6, "C:\\QVT") == 0 && e.back() != '\\';
        if (tempFile && Faulted(r, "DeleteFileA") && Accept("an empty QVTxxxx.tmp where its DeleteFileA failed")) continue;
        r.failed->push_back({"leftovers", "left behind: " + e + (unnamed ? ", which the console does not name" : "")});
    }
    // A handle whose own close failed stays open: it was the close's to end.
    int closesFailed = static_cast<int>(std::count(r.faulted.begin(), r.faulted.end(), "CloseHandle") +
                                        std::count(r.faulted.begin(), r.faulted.end(), "FindClose"));
    if (r.o.handlesLeft > r.base.handlesLeft && closesFailed > 0 &&
        r.o.handlesLeft <= r.base.handlesLeft + closesFailed && Accept("a handle whose CloseHandle or FindClose failed"))
        return;
    if (r.o.handlesLeft > r.base.handlesLeft)
        r.failed->push_back({"leftovers", "handles left open: " + std::to_string(r.o.handlesLeft) + " (fault-free " +
                                              std::to_string(r.base.handlesLeft) + ")"});
}

// The faulted call points were reached and failed there, each the call the
// reference run made there.
void Replay(const Run& r, const std::vector<CallPoint>& made, const std::vector<CallPoint>& reference, long point) {
    if (static_cast<long>(made.size()) < point) {
        r.failed->push_back({"replay", "call " + std::to_string(point) + " never reached"});
        return;
    }
    if (!made[point - 1].failed) {
        r.failed->push_back({"replay", "call " + std::to_string(point) + " (" + made[point - 1].entry + ") not failed"});
        return;
    }
    for (long j = 0; j < point && j < static_cast<long>(reference.size()); ++j)
        if (strcmp(made[j].entry, reference[j].entry) != 0) {
            r.failed->push_back({"replay", "call " + std::to_string(j + 1) + " was " + made[j].entry});
            return;
        }
}

std::vector<Check> CheckRun(const Scenario& s, const Outcome& base, const Outcome& o,
                            const std::vector<std::string>& faulted) {
    std::vector<Check> failed;
    const std::string before = s.oldLog ? s.oldLog : "";
    if (o.bounded) {
        failed.push_back({"returns", "over " + std::to_string(o.calls - 1) + " calls"});
        return failed;
    }
    bool same = Doings(o, before) == Doings(base, before);
    bool versionFailed = std::find(faulted.begin(), faulted.end(), "GetVersionExA") != faulted.end();
    if (o.result == base.result ? !same : !(o.result == 1 || (o.result == 9 && versionFailed))) {
        std::string detail = "result " + std::to_string(o.result) + " (fault-free " + std::to_string(base.result) + ")";
        if (!same) detail += ", and the run did otherwise:\n" + Doings(o, before) + "\nfault-free:\n" + Doings(base, before);
        failed.push_back({"result", detail});
    }
    Run r = {s, base, o, faulted, &failed};
    SaysWhy(r);
    std::string last = o.console.empty() ? "" : o.console.back();
    bool printed = false;
    for (const std::string& line : o.console) printed = printed || line.compare(0, sizeof kReturnLine - 1, kReturnLine) == 0;
    if (printed ? last != kReturnLine + std::to_string(o.result) : o.result != 1)
        failed.push_back({"return-line", "result " + std::to_string(o.result) + ", last line [" + last + "]"});
    std::string added;
    // A put and then its cut both failed: the piece stays, and the run said so.
    bool pieceLeft = Faulted(r, "put") && Faulted(r, "cut");
    if (!Added(before, o.log, &added) ||
        (!OneWholeLine(before, added) && !(pieceLeft && Accept("a piece of a line where a put and its cut failed"))))
        failed.push_back({"log", "old lines changed or more than one whole line added: [" + o.log + "]"});
    Console(r);
    Leftovers(r);
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
    RunHere(s, kCut, {point, 0}, 1000000, nullptr);
    return 3;  // the point was never reached
}

std::vector<std::string> Words(const std::string& list) {
    std::vector<std::string> words;
    for (size_t at = 0; at <= list.size();) {
        size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        if (end > at) words.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// Why an entry, or an error Windows gives for it, is never injected.
const char* const kNeverInjected[] = {
    "GetLastError, GetLocalTime, Sleep, IsDBCSLeadByte, GetSidSubAuthority, GetLengthSid, GetTickCount, "
    "GetCurrentProcess, EqualSid: they have no failure",
    "FindNextFileA with ERROR_NO_MORE_FILES: it is the listing's true end; given early it would be a listing that "
    "leaves out what is there, which no program can tell",
    "OpenStream with ERROR_FILE_NOT_FOUND: a file that is there reported missing is one removed meanwhile; for "
    "version.id that is a package without one (no record, as for any such package)",
    "the errors not listed in an entry's row: vorpkg tells none of them apart from the first listed",
    "LookupAccountSidA: it names the owner of a result log of another account, and no scenario plays one (Wine "
    "makes one only of a file of another Unix owner, which these in-process runs cannot set); the e2e tests "
    "ResultLogOwner.* and ResultLogDeath play it",
};
// Entries that can fail but that no scenario reaches: named above, and the
// only ones the reach check lets pass unfailed.
const char* const kUnreached[] = {"LookupAccountSidA"};

// A fault-free run's calls and outcome, for one scenario.
struct Baseline {
    const Scenario& s;
    int index;
    Outcome base;
    std::vector<CallPoint> calls;
    long bound;
};

std::set<std::string> g_injected;  // entries failed in some run
long g_secondRuns = 0;

// One run with first (and second) failed, checked. made: its calls.
Outcome FailedRun(const Baseline& b, Fault first, Fault second, const std::vector<CallPoint>& reference,
                  std::vector<CallPoint>* made) {
    Reset(b.s);
    Outcome o = RunHere(b.s, kFail, first, b.bound, made, second);
    std::vector<std::string> faulted = {b.calls[first.point - 1].entry};
    if (second.point != 0 && second.point <= static_cast<long>(made->size()))
        faulted.push_back((*made)[second.point - 1].entry);
    std::vector<Check> failed = CheckRun(b.s, b.base, o, faulted);
    Run r = {b.s, b.base, o, faulted, &failed};
    Safe(r, *made, first, second);
    Replay(r, *made, b.calls, first.point);
    if (second.point != 0) Replay(r, *made, reference, second.point);
    char kind[96];
    if (second.point == 0)
        snprintf(kind, sizeof kind, "fail (error %lu)", static_cast<unsigned long>(first.error));
    else
        snprintf(kind, sizeof kind, "fail (error %lu), then at call %ld (%s, error %lu)",
                 static_cast<unsigned long>(first.error), second.point, faulted.back().c_str(),
                 static_cast<unsigned long>(second.error));
    Report(b.s, kind, first.point, b.calls[first.point - 1].entry, failed);
    for (const std::string& e : faulted) g_injected.insert(e);
    return o;
}

// The calls a first fault leads to that the fault-free run does not make: the
// path it took away from the fault-free run's, where that path went on (the
// run recovered, or reached an entry no fault-free run calls). Each is
// failed in turn with the first fault. Where a run that recovered falls back
// into the fault-free run's calls (a retry that worked, then the rest as
// ever), that common end is left out: its points are the fault-free run's,
// each failed on its own already.
void SecondFaults(const Baseline& b, Fault first, const Outcome& o, const std::vector<CallPoint>& made,
                  const std::set<std::string>& fault_free) {
    size_t d = static_cast<size_t>(first.point);
    while (d < made.size() && d < b.calls.size() && strcmp(made[d].entry, b.calls[d].entry) == 0) ++d;
    bool strange = false;
    for (size_t j = d; j < made.size(); ++j) strange = strange || fault_free.count(made[j].entry) == 0;
    if (d >= made.size() || (o.result != b.base.result && !strange)) return;
    size_t end = made.size();
    for (size_t k = b.calls.size(); end > d && k > static_cast<size_t>(first.point) &&
                                    strcmp(made[end - 1].entry, b.calls[k - 1].entry) == 0;
         --k)
        --end;
    for (size_t j = d; j < end; ++j) {
        if (!made[j].canFail) continue;
        for (DWORD e : ErrorsOf(made[j].entry)) {
            std::vector<CallPoint> again;
            FailedRun(b, first, {static_cast<long>(j) + 1, e}, made, &again);
            ++g_secondRuns;
        }
    }
}

// The entries that can fail and no run of the lanes failed: each lane's
// SWEEP_INJECTED file names what it failed, one entry a line.
std::string Uninjected(const std::set<std::string>& injected) {
    std::string uninjected;
    for (const char* name : EntryNames())
        if (injected.count(name) == 0 && !ErrorsOf(name).empty() &&
            std::none_of(std::begin(kUnreached), std::end(kUnreached),
                         [name](const char* u) { return strcmp(u, name) == 0; }))
            uninjected += std::string(uninjected.empty() ? "" : ", ") + name;
    return uninjected;
}

int Reach(int files, char** names) {
    std::set<std::string> injected;
    for (int i = 0; i < files; ++i) {
        if (!FileExists(names[i])) {
            printf("sweep: no lane wrote %s\n", names[i]);
            return 1;
        }
        std::string text = ReadFileBytes(names[i]);
        for (size_t at = 0, end; at < text.size(); at = end + 1) {
            end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            if (end > at) injected.insert(text.substr(at, end - at));
        }
    }
    std::string uninjected = Uninjected(injected);
    printf("sweep: entries that can fail and no lane failed: %s\n", uninjected.empty() ? "none" : uninjected.c_str());
    return uninjected.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "--reach") == 0) return Reach(argc - 2, argv + 2);
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
    std::vector<Baseline> baselines;
    // SWEEP_SCENARIOS: a lane's share, the scenarios whose names contain
    // one of its comma-separated words (all when unset). Lanes run at once
    // need a Wine prefix each: they share the drive root's staging areas.
    const char* only = getenv("SWEEP_SCENARIOS");
    const char* injectedFile = getenv("SWEEP_INJECTED");
    if (injectedFile != nullptr) DeleteFileA(injectedFile);
    int swept = 0;
    for (int i = 0; i < kScenarioCount; ++i) {
        const Scenario& s = kScenarios[i];
        bool mine = only == nullptr;
        for (const std::string& word : Words(only ? only : "")) mine = mine || strstr(s.name, word.c_str()) != nullptr;
        if (!mine) continue;
        ++swept;
        Baseline b = {s, i, Outcome(), {}, 0};
        Reset(s);
        b.base = RunHere(s, kNoFault, {0, 0}, 1000000, &b.calls);
        Report(s, "fault-free", 0, "-", CheckRun(s, b.base, b.base, {}));
        if (b.base.result != s.result || b.base.exited) {
            printf("FAIL %s: fault-free result %d, not %d\n", s.name, b.base.result, s.result);
            ++g_failedChecks;
            continue;
        }
        b.bound = 2 * static_cast<long>(b.calls.size()) + 100;
        for (const CallPoint& p : b.calls) called.insert(p.entry);
        baselines.push_back(b);
    }
    for (const Baseline& b : baselines) {
        const Scenario& s = b.s;
        long fails = 0, cuts = 0, seconds = g_secondRuns;
        for (size_t k = 1; k <= b.calls.size(); ++k) {
            const CallPoint& p = b.calls[k - 1];
            for (DWORD e : ErrorsOf(p.entry)) {
                std::vector<CallPoint> made;
                Outcome o = FailedRun(b, {static_cast<long>(k), e}, {0, 0}, b.calls, &made);
                SecondFaults(b, {static_cast<long>(k), e}, o, made, called);
                ++fails;
            }
        }
        for (size_t k = 1; k <= b.calls.size(); ++k) {
            const CallPoint& p = b.calls[k - 1];
            if (!cutAll && !p.changesDisk && !p.logOpen) continue;
            Reset(s);
            std::string why;
            if (!CutOffInChild(b.index, static_cast<long>(k), &why)) {
                Report(s, "cut off", static_cast<long>(k), p.entry, {{"cut", why}});
                continue;
            }
            Outcome o = RunHere(s, kNoFault, {0, 0}, b.bound, nullptr);
            Report(s, "cut off", static_cast<long>(k), p.entry, CheckAfterCut(s, b.base, o));
            ++cuts;
        }
        printf("sweep: %s: %zu call points, %ld runs with a call failed, %ld with a second one, %ld cut off; "
               "result %d\n",
               s.name, b.calls.size(), fails, g_secondRuns - seconds, cuts, b.base.result);
        points += static_cast<long>(b.calls.size());
        failRuns += fails;
        cutRuns += cuts;
    }
    std::string never;
    for (const char* name : EntryNames())
        if (called.count(name) == 0) never += std::string(never.empty() ? "" : ", ") + name;
    printf("sweep: entries no fault-free run calls: %s\n", never.empty() ? "none" : never.c_str());
    std::string uninjected = Uninjected(g_injected);
    printf("sweep: entries that can fail and were never failed: %s\n", uninjected.empty() ? "none" : uninjected.c_str());
    if (!uninjected.empty() && only == nullptr) ++g_failedChecks;
    if (injectedFile != nullptr) {
        std::string names;
        for (const std::string& e : g_injected) names += e + "\n";
        WriteFileBytes(injectedFile, names);
    }
    for (const char* why : kNeverInjected) printf("sweep: never injected: %s\n", why);
    for (const auto& a : g_accepted) printf("sweep: accepted, %ld times: %s\n", a.second, a.first.c_str());
    Reset(kScenarios[0]);
    RemoveTree(kRoot);
    DeleteFileA(kConsoleFile.c_str());
    printf("sweep: %d scenarios, %ld call points, %ld runs with a call failed, %ld with a second call failed, "
           "%ld cut off and run again, %d checks failed, %lu s\n",
           swept, points, failRuns, g_secondRuns, cutRuns, g_failedChecks,
           static_cast<unsigned long>((GetTickCount() - start + 500) / 1000));
    return g_failedChecks == 0 ? 0 : 1;
}

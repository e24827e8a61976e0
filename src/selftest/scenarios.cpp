#include "selftest/scenarios.h"

#include "common/strbuf.h"
#include "run/usage.h"
#include "selftest/child.h"
#include "selftest/report.h"
#include "selftest/standin.h"

#include <stdio.h>
#include <string.h>

namespace {

char g_line[2048];  // a report line being made

const size_t kLine = 600;
const size_t kWhy = 1024;
const size_t kTraceLines = 8;

// What the stand-in's first run writes, and what vorpkg makes of it.
struct Marker {
    const char* kind;
    bool bios;
    bool driver;
    bool written;
    int code;
};

const Marker kMarkers[] = {
    {"clean", false, false, true, 0},
    {"driver", false, true, true, 28},
    {"bios", true, false, true, 29},
    {"both", true, true, true, 30},
    {"long", false, true, true, 28},  // the driver's marker across the 255th character
};
const Marker kClean = kMarkers[0];
const Marker kNoLog = {"none", false, false, false, 1};

// Lines of kLine characters each, one after the other.
struct Expected {
    char lines[kMaxLines * kLine];
    size_t count;
    char trace[kTraceLines * kLine];
    size_t traceCount;
    int code;
};

char* Row(char* lines, size_t i) { return lines + i * kLine; }
const char* Row(const char* lines, size_t i) { return lines + i * kLine; }

Expected g_expected;
Child g_child;
Child g_second;
char g_bytes[kOutputSize];

// The first difference found is the one reported.
template <typename... Args>
void Differs(char* why, const char* fmt, Args... args) {
    if (why[0] == '\0') (void)snprintf(why, kWhy, fmt, args...);
}

void AddLine(Expected* e, const char* a, const char* b = "", const char* c = "") {
    if (e->count < kMaxLines && Join(Row(e->lines, e->count), kLine, a, b, c)) ++e->count;
}

void AddTrace(Expected* e, const char* line) {
    if (e->traceCount < kTraceLines && Join(Row(e->trace, e->traceCount), kLine, line, "")) ++e->traceCount;
}

// The console and command lines of an update run in work directory dir.
void ExpectUpdate(const SelfTest& t, const char* dir, const Marker& m, bool utility, Expected* e) {
    memset(e, 0, sizeof *e);
    int code = 9;
    if (t.system.procedure != kProcedureNone) {
        bool nt = t.system.procedure == kProcedureNt;
        char first[kLine];
        char rerun[kLine];
        char log[kLine];
        (void)Join(log, sizeof log, "mervane.exe /l ", dir, "VOR.LOG /s /noreboot /i ");
        (void)Join(first, sizeof first, log, dir, nt ? "zorvad.sys /oisafe12" : "zorvad.inf /oisafe12");
        (void)Join(rerun, sizeof rerun, log, dir, "zorvad.sys /oinowdp");
        AddLine(e, nt ? "WinNT command to run is [" : "Win2k command to run is [", first, "]");
        if (!utility) {
            AddLine(e, "Update utility not found: ", dir, "mervane.exe");
            code = 1;
        } else {
            AddTrace(e, first);
            code = m.code;
            if (!m.written) AddLine(e, "Update utility left no new log: ", dir, "VOR.LOG");
            if (!nt && m.bios) AddLine(e, "THE BIOS IS BACKLEVEL");
            if (m.driver) {
                AddLine(e, "THE DRIVER IS BACKLEVEL");
                AddLine(e, "about to run [", rerun, "]");
                AddTrace(e, rerun);
            }
            // NT 4.0: the last line once more, unannounced.
            if (nt) AddTrace(e, Row(e->trace, e->traceCount - 1));
        }
    }
    e->code = code;
    char number[16];
    (void)snprintf(number, sizeof number, "%d", code);
    AddLine(e, "Return Code from vorpkg is ", number);
}

// A line of the report may not hold a line end; long values are cut.
void CompareLines(const char* what, char* const* got, size_t gotCount, const char* want, size_t wantCount,
                  char* why) {
    for (size_t i = 0; i < gotCount || i < wantCount; ++i) {
        const char* g = i < gotCount ? got[i] : nullptr;
        const char* w = i < wantCount ? Row(want, i) : nullptr;
        if (g != nullptr && w != nullptr && strcmp(g, w) == 0) continue;
        Differs(why, "%s line %u is [%s], expected [%s]", what, static_cast<unsigned>(i + 1),
                g != nullptr ? g : "(none)", w != nullptr ? w : "(none)");
        return;
    }
}

// An in-place run may make an older \QVLOG (or QV.log) private, and say so
// before its last line: left out of the comparison, noted.
size_t WithoutMadePrivate(const SelfTest& t, Child* c, bool* madePrivate) {
    char folder[kLine];
    char file[kLine];
    (void)Join(folder, sizeof folder, "Result log folder made private: ", t.qvlog);
    (void)Join(file, sizeof file, "Result log file made private: ", t.qvlogFile);
    size_t n = c->lineCount;
    char** lines = c->lines;
    while (n >= 2 && (strcmp(lines[n - 2], folder) == 0 || strcmp(lines[n - 2], file) == 0)) {
        lines[n - 2] = lines[n - 1];
        --n;
        *madePrivate = true;
    }
    return n;
}

void CheckTrace(const char* workFolder, const Expected& e, char* why) {
    char path[kPath];
    char* found[kTraceLines + 1];
    char** lines = found;
    size_t count = 0;
    if (Join(path, sizeof path, workFolder, "\\mervane.trace")) {
        long n = ReadBytesAt(path, 0, g_bytes, sizeof g_bytes);
        for (char* p = g_bytes; n > 0 && *p != '\0' && count <= kTraceLines;) {
            lines[count++] = p;
            char* nl = strchr(p, '\n');
            if (nl == nullptr) break;
            *nl = '\0';
            p = nl + 1;
        }
    }
    CompareLines("utility command", lines, count, e.trace, e.traceCount, why);
}

void Today(char* date) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    (void)snprintf(date, 11, "%02u-%02u-%04u", now.wMonth, now.wDay, now.wYear);
}

// "MM-DD-YYYY hh:mm:ss" of one of the days.
bool IsStamp(const char* s, const char* day1, const char* day2) {
    const char* form = "99-99-9999 99:99:99";
    for (size_t i = 0; form[i] != '\0'; ++i) {
        if (form[i] == '9' ? (s[i] < '0' || s[i] > '9') : s[i] != form[i]) return false;
    }
    return strncmp(s, day1, 10) == 0 || strncmp(s, day2, 10) == 0;
}

struct LogMark {
    long size;
    bool needsLineEnd;  // the log's last line had no line end
    char day[11];
};

void MarkLog(const SelfTest& t, LogMark* m) {
    m->size = FileSize(t.qvlogFile);
    m->needsLineEnd = false;
    if (m->size > 0) {
        char last[2];
        m->needsLineEnd = ReadBytesAt(t.qvlogFile, m->size - 1, last, sizeof last) == 1 && last[0] != '\n';
    }
    Today(m->day);
}

// The record an in-place run of package name ends with.
void RecordRest(char* buf, const char* name, int code) {
    (void)snprintf(buf, kLine, ",Update=vorpkg self-test,New=%s,Status=%s,ReturnCode=%d \r\n", name,
                   code == 0 ? "Success" : "Unknown", code);
}

// What the runs since the mark appended: nothing (records 0) or lines whose
// rests are given, in any order.
void CheckRecords(const SelfTest& t, const LogMark& m, const char* const* rests, size_t records, char* why) {
    char today[11];
    Today(today);
    long n = ReadBytesAt(t.qvlogFile, m.size < 0 ? 0 : m.size, g_bytes, sizeof g_bytes);
    if (n < 0) n = 0;
    const char* p = g_bytes;
    if (records == 0) {
        if (n > 0) Differs(why, "the result log got [%.200s], expected nothing", p);
        return;
    }
    if (m.needsLineEnd) {
        if (strncmp(p, "\r\n", 2) != 0) Differs(why, "the record does not start on a line of its own");
        p += 2;
    }
    bool taken[2] = {false, false};
    bool* used = taken;
    for (size_t r = 0; r < records; ++r) {
        bool found = false;
        for (size_t k = 0; k < records && !found; ++k) {
            size_t len = strlen(rests[k]);
            if (used[k] || !IsStamp(p, m.day, today) || strncmp(p + 19, rests[k], len) != 0) continue;
            used[k] = found = true;
            p += 19 + len;
        }
        if (!found) {
            Differs(why, "result log record [%.200s], expected a time stamp and [%.*s]", p,
                    static_cast<int>(strlen(rests[r]) - 2), rests[r]);
            return;
        }
    }
    if (*p != '\0') Differs(why, "the result log got more: [%.200s]", p);
}

const char* g_newAreas[kMaxNew];
size_t g_newCount = 0;
QvtList g_before;
QvtList g_after;

// The staging areas the last run made: the root's QVT folders that were not
// there before it. Removed by RemoveNewAreas.
void NoteNewAreas(const SelfTest& t) {
    ListQvt(t.system.root, &g_after);
    g_newCount = NewQvt(g_before, g_after, g_newAreas);
}

void RemoveNewAreas(SelfTest* t) {
    char path[kPath];
    const char** areas = g_newAreas;
    for (size_t i = 0; i < g_newCount; ++i)
        if (!Join(path, sizeof path, t->system.root, areas[i]) || !RemoveTree(path)) t->cleanedUp = false;
    g_newCount = 0;
}

// A test package in <top>\name: the stand-in (this program), its scenario
// for the first run, version.id naming the package, the driver files.
bool MakePackage(const SelfTest& t, const char* name, const char* kind, bool utility, const char* staleLog,
                 char* dir) {
    char path[kPath];
    char text[256];
    if (!Join(dir, kPath, t.top, "\\", name) || !CreateDirectoryA(dir, nullptr)) return false;
    (void)snprintf(text, sizeof text, "%s\nfirst %s\nrerun clean\n", kSelfTestMark, kind);
    bool ok = Join(path, sizeof path, dir, "\\mervane.scenario") && WriteText(path, text);
    (void)snprintf(text, sizeof text, "vorpkg self-test\r\n%s\r\n", name);
    ok = ok && Join(path, sizeof path, dir, "\\version.id") && WriteText(path, text);
    ok = ok && Join(path, sizeof path, dir, "\\zorvad.sys") && WriteText(path, "zorvad driver image\r\n");
    ok = ok && Join(path, sizeof path, dir, "\\zorvad.inf") &&
         WriteText(path, "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    if (utility) ok = ok && Join(path, sizeof path, dir, "\\mervane.exe") && CopyFileA(t.self, path, FALSE);
    if (staleLog != nullptr) ok = ok && Join(path, sizeof path, dir, "\\VOR.LOG") && WriteText(path, staleLog);
    return ok;
}

bool Start(const SelfTest& t, const char* name, const char* args, const char* startDir, Child* c) {
    char out[kPath];
    const char* parts[] = {t.top, "\\", name, ".out"};
    return StrJoin(out, sizeof out, parts, 4) && StartChild(t.vorpkg, args, startDir, out, c);
}

// Runs vorpkg on a package made for it, in place or staged, and checks
// everything; the staging area it made stays until RemoveNewAreas, in work.
void RunUpdate(SelfTest* t, const char* name, const Marker& m, bool utility, const char* staleLog, bool staged,
               char* why, char* work) {
    char package[kPath];
    if (!MakePackage(*t, name, m.kind, utility, staleLog, package)) {
        Differs(why, "the test package %s\\%s cannot be made (error %lu)", t->top, name, GetLastError());
        return;
    }
    LogMark mark;
    MarkLog(*t, &mark);
    ListQvt(t->system.root, &g_before);
    bool ran = Start(*t, name, staged ? package : "", staged ? t->top : package, &g_child) && FinishChild(&g_child);
    NoteNewAreas(*t);
    if (!ran) {
        Differs(why, "%s", g_child.problem != nullptr ? g_child.problem : "vorpkg cannot be started");
        return;
    }
    (void)Join(work, kPath, package, "");
    if (staged) {
        if (g_newCount != 1) {
            Differs(why, "%u staging areas made, expected one", static_cast<unsigned>(g_newCount));
            return;
        }
        (void)Join(work, kPath, t->system.root, g_newAreas[0]);
    } else if (g_newCount != 0) {
        Differs(why, "an in-place run made %s", g_newAreas[0]);
    }
    char dir[kPath];
    (void)Join(dir, sizeof dir, work, "\\");
    ExpectUpdate(*t, dir, m, utility, &g_expected);
    if (g_child.exitCode != static_cast<DWORD>(g_expected.code))
        Differs(why, "exit code %lu, expected %d", g_child.exitCode, g_expected.code);
    bool madePrivate = false;
    size_t lines = staged ? g_child.lineCount : WithoutMadePrivate(*t, &g_child, &madePrivate);
    CompareLines("console", g_child.lines, lines, g_expected.lines, g_expected.count, why);
    CheckTrace(work, g_expected, why);
    char rest[kLine];
    RecordRest(rest, name, g_expected.code);
    const char* rests[] = {rest};
    CheckRecords(*t, mark, rests, staged ? 0 : 1, why);
}

// --- the scenarios -------------------------------------------------------

void Markers(SelfTest* t, bool staged) {
    for (const Marker& m : kMarkers) {
        char name[64];
        char why[kWhy] = "";
        char work[kPath];
        (void)snprintf(name, sizeof name, "%s-%s", staged ? "staged" : "inplace", m.kind);
        RunUpdate(t, name, m, true, nullptr, staged, why, work);
        RemoveNewAreas(t);
        ReportScenario(name, why[0] != '\0' ? why : nullptr);
    }
}

void MissingUtility(SelfTest* t) {
    char why[kWhy] = "";
    char work[kPath];
    RunUpdate(t, "missing-utility", kClean, false, nullptr, false, why, work);
    RemoveNewAreas(t);
    ReportScenario("missing-utility", why[0] != '\0' ? why : nullptr);
}

void StaleLog(SelfTest* t) {
    char why[kWhy] = "";
    char work[kPath];
    RunUpdate(t, "stale-log", kNoLog, true, "Error Code 28: an earlier run\r\n", false, why, work);
    RemoveNewAreas(t);
    ReportScenario("stale-log", why[0] != '\0' ? why : nullptr);
}

// A run refused before anything runs: its console, exit 1 or the usage's,
// no staging area, no record.
void Refusal(SelfTest* t, const char* name, const char* args, const char* const* lines, size_t count, int code) {
    char why[kWhy] = "";
    memset(&g_expected, 0, sizeof g_expected);
    for (size_t i = 0; i < count; ++i) AddLine(&g_expected, lines[i]);
    LogMark mark;
    MarkLog(*t, &mark);
    ListQvt(t->system.root, &g_before);
    bool ran = Start(*t, name, args, t->top, &g_child) && FinishChild(&g_child);
    NoteNewAreas(*t);
    if (!ran) {
        Differs(why, "%s", g_child.problem != nullptr ? g_child.problem : "vorpkg cannot be started");
    } else {
        if (g_child.exitCode != static_cast<DWORD>(code))
            Differs(why, "exit code %lu, expected %d", g_child.exitCode, code);
        CompareLines("console", g_child.lines, g_child.lineCount, g_expected.lines, g_expected.count, why);
        if (g_newCount != 0) Differs(why, "it made %s", g_newAreas[0]);
        CheckRecords(*t, mark, nullptr, 0, why);
    }
    RemoveNewAreas(t);
    ReportScenario(name, why[0] != '\0' ? why : nullptr);
}

void RootRefused(SelfTest* t) {
    char dotdot[kPath];
    char lines[2][kLine];
    const char* list[] = {lines[0], lines[1]};
    (void)Join(lines[1], kLine, "Copying update files to the hard drive failed.", "");
    (void)Join(lines[0], kLine, "Package directory is the system drive root: ", t->system.root);
    Refusal(t, "root-refused", t->system.root, list, 2, 1);
    (void)Join(dotdot, sizeof dotdot, t->system.windowsDir, "\\..");
    (void)Join(lines[0], kLine, "Package directory is the system drive root: ", dotdot);
    Refusal(t, "root-as-windows-dotdot", dotdot, list, 2, 1);
}

void Usage(SelfTest* t) {
    static char text[2048];
    const char* found[kMaxLines];
    const char** lines = found;
    size_t count = 0;
    (void)Join(text, sizeof text, kUsage, "");
    for (char* p = text; *p != '\0' && count < kMaxLines;) {
        lines[count++] = p;
        char* nl = strchr(p, '\n');
        if (nl == nullptr) break;
        *nl = '\0';
        p = nl + 1;
    }
    Refusal(t, "usage", "/?", found, count, 1);
}

void PackageLink(SelfTest* t) {
    const char name[] = "package-link";
    if (t->system.procedure == kProcedureNt) {
        ReportScenario(name, nullptr, "Windows NT 4.0 has no junctions");
        return;
    }
    char package[kPath];
    char target[kPath];
    char link[kPath];
    char file[kPath];
    if (!MakePackage(*t, name, "clean", true, nullptr, package) ||
        !Join(target, sizeof target, t->top, "\\link-target") || !CreateDirectoryA(target, nullptr) ||
        !Join(file, sizeof file, target, "\\not-in-the-package.txt") || !WriteText(file, "outside\r\n") ||
        !Join(link, sizeof link, package, "\\linked")) {
        ReportScenario(name, "the test package and the folder outside it cannot be made");
        return;
    }
    DWORD error = 0;
    if (!MakeJunction(link, target, &error)) {
        char why[128];
        (void)snprintf(why, sizeof why, "this system makes no junctions (FSCTL_SET_REPARSE_POINT: error %lu)",
                       error);
        ReportScenario(name, nullptr, why);
        return;
    }
    char lines[2][kLine];
    const char* list[] = {lines[0], lines[1]};
    (void)Join(lines[0], kLine, "Package holds a link: ", link);
    (void)Join(lines[1], kLine, "Copying update files to the hard drive failed.", "");
    Refusal(t, name, package, list, 2, 1);
}

void StagingSecurity(SelfTest* t) {
    const char name[] = "staging-area-security";
    if (!t->system.keepsSecurity) {
        ReportScenario(name, nullptr, "the system drive keeps no owners or permissions");
        return;
    }
    char why[kWhy] = "";
    char work[kPath];
    RunUpdate(t, name, kClean, true, nullptr, true, why, work);
    char what[400];
    const char* differs = why[0] != '\0' ? nullptr
                                         : CheckFolder(work, kStagingArea, t->system.procedure == kProcedureWin2k,
                                                       t->fidelity.exact, what, sizeof what);
    if (differs != nullptr) Differs(why, "the staging area %s: %s", work, differs);
    RemoveNewAreas(t);
    ReportScenario(name, why[0] != '\0' ? why : nullptr);
    if (why[0] == '\0' && !t->fidelity.exact) {
        (void)snprintf(g_line, sizeof g_line,
                       "      this system does not keep a DACL as written (%s): checked only that no other "
                       "account is granted anything",
                       t->fidelity.note);
        ReportLine(g_line);
    }
}

void QvlogPrivate(SelfTest* t) {
    const char name[] = "qvlog-private";
    if (!t->system.keepsSecurity) {
        ReportScenario(name, nullptr, "the system drive keeps no owners or permissions");
        return;
    }
    char why[kWhy] = "";
    char work[kPath];
    RunUpdate(t, name, kClean, true, nullptr, false, why, work);
    RemoveNewAreas(t);
    // One it made itself is exactly as said; one that was there only has to
    // let no one else do more than read and list.
    bool exact = t->fidelity.exact && !t->qvlogWasThere;
    char what[400];
    const char* differs = why[0] != '\0' ? nullptr
                                         : CheckFolder(t->qvlog, kLogFolder, t->system.procedure == kProcedureWin2k,
                                                       exact, what, sizeof what);
    if (differs != nullptr) Differs(why, "%s: %s", t->qvlog, differs);
    ReportScenario(name, why[0] != '\0' ? why : nullptr);
    if (why[0] == '\0' && !exact) {
        (void)snprintf(g_line, sizeof g_line,
                       "      %s: checked only that no other account may do more than read and list",
                       t->qvlogWasThere ? "\\QVLOG was there before this self-test"
                                        : "this system does not keep a DACL as written");
        ReportLine(g_line);
    }
}

// One of two runs at once.
struct Concurrent {
    const char* name;
    Child* child;
    char package[kPath];
    bool ran;
    char rest[kLine];
};

// Checks one of the runs as if it had run alone.
void CheckConcurrent(const SelfTest& t, Concurrent* r, int number, char* why) {
    if (!r->ran) {
        Differs(why, "run %d: %s", number, r->child->problem != nullptr ? r->child->problem : "not started");
        return;
    }
    char dir[kPath];
    (void)Join(dir, sizeof dir, r->package, "\\");
    ExpectUpdate(t, dir, kClean, true, &g_expected);
    bool madePrivate = false;
    size_t lines = WithoutMadePrivate(t, r->child, &madePrivate);
    if (r->child->exitCode != static_cast<DWORD>(g_expected.code))
        Differs(why, "run %d: exit code %lu, expected %d", number, r->child->exitCode, g_expected.code);
    CompareLines(number == 1 ? "run 1 console" : "run 2 console", r->child->lines, lines, g_expected.lines,
                 g_expected.count, why);
    CheckTrace(r->package, g_expected, why);
    RecordRest(r->rest, r->name, g_expected.code);
}

// Two in-place runs at once: each as alone, and two whole records.
void TwoAtOnce(SelfTest* t) {
    const char name[] = "two-at-once";
    char why[kWhy] = "";
    Concurrent first = {"two-at-once-1", &g_child, "", false, ""};
    Concurrent second = {"two-at-once-2", &g_second, "", false, ""};
    if (!MakePackage(*t, first.name, "clean", true, nullptr, first.package) ||
        !MakePackage(*t, second.name, "clean", true, nullptr, second.package)) {
        ReportScenario(name, "the test packages cannot be made");
        return;
    }
    LogMark mark;
    MarkLog(*t, &mark);
    ListQvt(t->system.root, &g_before);
    bool started1 = Start(*t, first.name, "", first.package, first.child);
    bool started2 = Start(*t, second.name, "", second.package, second.child);
    first.ran = started1 && FinishChild(first.child);
    second.ran = started2 && FinishChild(second.child);
    NoteNewAreas(*t);
    CheckConcurrent(*t, &first, 1, why);
    CheckConcurrent(*t, &second, 2, why);
    if (first.ran && second.ran) {
        const char* rests[] = {first.rest, second.rest};
        CheckRecords(*t, mark, rests, 2, why);
    }
    RemoveNewAreas(t);
    ReportScenario(name, why[0] != '\0' ? why : nullptr);
}

// A character whose second byte is that of "\" in this code page, or nullptr.
const char* TrailBackslash(UINT codePage) {
    switch (codePage) {
    case 932:
        return "\x83\x5c";  // katakana SO
    case 936:
        return "\x81\x5c";
    case 950:
        return "\xb3\x5c";
    default:
        return nullptr;
    }
}

void DoubleByte(SelfTest* t) {
    const char name[] = "dbcs-trail-5c";
    const char* c = TrailBackslash(t->system.codePage);
    if (c == nullptr) {
        char why[96];
        (void)snprintf(why, sizeof why, "code page %u is not double-byte with a trail byte 0x5C", t->system.codePage);
        ReportScenario(name, nullptr, why);
        return;
    }
    char why[kWhy] = "";
    char work[kPath];
    char folder[64];
    (void)Join(folder, sizeof folder, "dbcs", c, "-inplace");
    RunUpdate(t, folder, kClean, true, nullptr, false, why, work);
    (void)Join(folder, sizeof folder, "dbcs", c, "-staged");
    RunUpdate(t, folder, kClean, true, nullptr, true, why, work);
    RemoveNewAreas(t);
    ReportScenario(name, why[0] != '\0' ? why : nullptr);
}

}  // namespace

void PlayScenarios(SelfTest* t) {
    Markers(t, false);
    Markers(t, true);
    MissingUtility(t);
    StaleLog(t);
    RootRefused(t);
    Usage(t);
    PackageLink(t);
    StagingSecurity(t);
    QvlogPrivate(t);
    TwoAtOnce(t);
    DoubleByte(t);
}

#include "selftest/scenarios.h"

#include "common/strbuf.h"
#include "run/usage.h"
#include "selftest/child.h"
#include "selftest/expect.h"
#include "selftest/report.h"
#include "selftest/standin.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

char g_line[2048];  // a report line being made

const size_t kLine = kExpectLine;
const size_t kWhy = 1024;

// What the utility's first run writes, and what vorpkg makes of it.
const ToolLog kClean = {"clean", false, false, true, 0};
const ToolLog kDriver = {"driver", false, true, true, 28};
const ToolLog kBios = {"bios", true, false, true, 29};
const ToolLog kBoth = {"both", true, true, true, 30};
const ToolLog kLong = {"long", false, true, true, 28};  // the driver's marker across the 255th character
const ToolLog kNoLog = {"none", false, false, false, 1};

// The update scenarios: one package each, in place or staged.
struct Update {
    const char* name;
    const ToolLog* log;    // what the utility's first run writes
    bool utility;          // the package holds mervane.exe
    const char* staleLog;  // a VOR.LOG in the package from before, or nullptr
    bool staged;
    const char* args;  // in place: the command line's arguments
    bool versionId;    // the package holds version.id
    bool network;      // in place in the package's folder through the administrative share
};

const char kStale[] = "Error Code 28: an earlier run\r\n";
const Update kUpdates[] = {
    {"inplace-clean", &kClean, true, nullptr, false, "", true, false},
    {"inplace-driver", &kDriver, true, nullptr, false, "", true, false},
    {"inplace-bios", &kBios, true, nullptr, false, "", true, false},
    {"inplace-both", &kBoth, true, nullptr, false, "", true, false},
    {"inplace-long", &kLong, true, nullptr, false, "", true, false},
    {"staged-clean", &kClean, true, nullptr, true, "", true, false},
    {"staged-driver", &kDriver, true, nullptr, true, "", true, false},
    {"staged-bios", &kBios, true, nullptr, true, "", true, false},
    {"staged-both", &kBoth, true, nullptr, true, "", true, false},
    {"staged-long", &kLong, true, nullptr, true, "", true, false},
    {"missing-utility", &kClean, false, nullptr, false, "", true, false},
    {"stale-log", &kNoLog, true, kStale, false, "", true, false},
    {"no-version-id", &kDriver, true, nullptr, false, "", false, false},
    // "/?" with a second argument is an argument like any other: in place.
    {"usage-with-argument", &kClean, true, nullptr, false, "/? x", true, false},
    {"network-folder", &kClean, true, nullptr, false, "", true, true},
};

ExpectedRun g_expected;
Child g_runs[2];
char g_bytes[kOutputSize];

// The first difference found is the one reported.
template <typename... Args>
void Differs(char* why, const char* fmt, Args... args) {
    if (why[0] == '\0') (void)snprintf(why, kWhy, fmt, args...);
}

// A line of the report may not hold a line end; long values are cut.
void CompareLines(const char* what, char* const* got, size_t gotCount, const char* want, size_t wantCount,
                  char* why) {
    for (size_t i = 0; i < gotCount || i < wantCount; ++i) {
        const char* g = i < gotCount ? got[i] : "(none)";
        const char* w = i < wantCount ? ExpectedLine(want, i) : "(none)";
        if (strcmp(g, w) == 0) continue;
        Differs(why, "%s line %u is [%s], expected [%s]", what, static_cast<unsigned>(i + 1), g, w);
        return;
    }
}

// An in-place run may make an older \QVLOG (or QV.log) private, and say so
// before its last line: taken out of the comparison, and allowed only on
// the self-test's first in-place run, on a \QVLOG that was there before it.
size_t WithoutMadePrivate(SelfTest* t, Child* c, char* why) {
    char folder[kLine];
    char file[kLine];
    (void)Join(folder, sizeof folder, "Result log folder made private: ", t->qvlog);
    (void)Join(file, sizeof file, "Result log file made private: ", t->qvlogFile);
    size_t n = c->lineCount;
    char** lines = c->lines;
    bool said = false;
    while (n >= 2 && (strcmp(lines[n - 2], folder) == 0 || strcmp(lines[n - 2], file) == 0)) {
        if (!said && (!t->qvlogWasThere || t->inPlaceRuns > 0))
            Differs(why, "console says [%s], which only the first in-place run on an older \\QVLOG may", lines[n - 2]);
        said = true;
        lines[n - 2] = lines[n - 1];
        --n;
    }
    ++t->inPlaceRuns;
    return n;
}

void CheckTrace(const char* workFolder, const ExpectedRun& e, char* why) {
    char path[kPath];
    char* lines[kExpectLines + 1];
    size_t count = 0;
    if (Join(path, sizeof path, workFolder, "\\mervane.trace") && ReadBytesAt(path, 0, g_bytes, sizeof g_bytes) > 0)
        (void)SplitLines(g_bytes, lines, kExpectLines + 1, &count);
    CompareLines("utility command", lines, count, e.trace, e.traceCount, why);
}

// How much of a log line a report line shows: up to its end, 200 at most.
int Shown(const char* p) {
    size_t n = strcspn(p, "\r\n");
    return static_cast<int>(n < 200 ? n : 200);
}

// The result log before a run: its size, the hash of its bytes (kept) and
// the local time.
struct LogMark {
    long size;
    bool needsLineEnd;  // the log's last line had no line end
    char hash[65];
    char before[20];
};

void MarkLog(const SelfTest& t, LogMark* m) {
    m->size = FileSize(t.qvlogFile);
    m->needsLineEnd = false;
    if (m->size > 0) {
        char last[2];
        m->needsLineEnd = ReadBytesAt(t.qvlogFile, m->size - 1, last, sizeof last) == 1 && last[0] != '\n';
    }
    (void)HashPrefix(t.qvlogFile, m->size, m->hash);
    LocalStamp(m->before);
}

// A record of rest, stamped between before and after, at p.
bool IsRecord(const char* p, const char* rest, const char* before, const char* after) {
    return strlen(p) >= 19 && StampWithin(p, before, after) && strncmp(p + 19, rest, strlen(rest)) == 0;
}

// What the runs since the mark appended: nothing (records 0) or lines whose
// rests are given, in any order, stamped between the mark and now; the
// earlier bytes as they were.
void CheckRecords(const SelfTest& t, const LogMark& m, const char* const* rests, size_t records, char* why) {
    char after[20];
    char hash[65];
    LocalStamp(after);
    if (!HashPrefix(t.qvlogFile, m.size, hash) || strcmp(hash, m.hash) != 0) {
        Differs(why, "the result log's earlier %ld bytes were changed", m.size);
        return;
    }
    const char* p = g_bytes;
    if (ReadBytesAt(t.qvlogFile, m.size < 0 ? 0 : m.size, g_bytes, sizeof g_bytes) < 0) g_bytes[0] = '\0';
    if (records == 0) {
        if (*p != '\0') Differs(why, "the result log got [%.*s], expected nothing", Shown(p), p);
        return;
    }
    if (m.needsLineEnd && strncmp(p, "\r\n", 2) != 0) {
        Differs(why, "the record does not start on a line of its own");
    } else if (m.needsLineEnd) {
        p += 2;
    }
    bool taken[2] = {false, false};
    bool* used = taken;
    for (size_t r = 0; r < records; ++r) {
        size_t k = 0;
        while (k < records && (used[k] || !IsRecord(p, rests[k], m.before, after))) ++k;
        if (k == records) {
            Differs(why, "result log record [%.*s], expected a time stamp from %s to %s and [%.*s]", Shown(p), p,
                    m.before, after, static_cast<int>(strlen(rests[r]) - 2), rests[r]);
            return;
        }
        used[k] = true;
        p += 19 + strlen(rests[k]);
    }
    if (*p != '\0') Differs(why, "the result log got more: [%.*s]", Shown(p), p);
}

char g_before[8192];  // the root's QVT* names before a run
char g_new[8192];     // and those that appeared during it
char* g_newAreas[kMaxNew];
size_t g_newCount = 0;

// A copy of one of this self-test's packages (a staged run on a Windows
// vorpkg does not support names none).
bool HoldsOurPackage(const SelfTest& t, const char* folder) {
    char path[kPath];
    char want[64];
    (void)snprintf(want, sizeof want, "%s %s\n", kSelfTestMark, t.token);
    return Join(path, sizeof path, folder, "\\mervane.scenario") && FileStartsWith(path, want);
}

// The package through the system drive's administrative share, where the
// system offers one and a program started there starts there: vorpkg must
// not run in place anywhere but the package. The package's stand-in, given
// relative names, writes its log there only if it starts there.
bool ThroughShare(const SelfTest& t, const char* package, char* unc, char* skip) {
    const char* computer = getenv("COMPUTERNAME");
    const char share[] = {'\\', t.system.root[0], '$', '\0'};
    const char* parts[] = {"\\\\", computer, share, package + 2};
    if (computer == nullptr || !StrJoin(unc, kPath, parts, 4) || !HoldsOurPackage(t, unc)) {
        (void)snprintf(skip, kWhy, "the system offers no administrative share %s leading to the package", unc);
        return false;
    }
    char tool[kPath];
    char log[kPath];
    char out[kPath];
    bool there = Join(tool, sizeof tool, package, "\\mervane.exe") && Join(log, sizeof log, package, "\\probe.log") &&
                 Join(out, sizeof out, t.top, "\\probe.out") &&
                 StartChild(tool, "/l probe.log /s /noreboot /i mervane.scenario /oisafe12", unc, out, &g_runs[1]) &&
                 FinishChild(&g_runs[1]) && GetFileAttributesA(log) != INVALID_FILE_ATTRIBUTES;
    (void)DeleteFileA(log);
    (void)Join(log, sizeof log, package, "\\mervane.trace");
    (void)DeleteFileA(log);
    if (!there) (void)snprintf(skip, kWhy, "a program started in %s does not start there", unc);
    return there;
}

// Removes only what the run's console names as its work directory, or a
// copy of this self-test's package: anything else may be another
// administrator's run.
void RemoveNewAreas(SelfTest* t, size_t runs, char* why) {
    char path[kPath];
    char named[kPath];
    char* const* areas = g_newAreas;
    for (size_t i = 0; i < g_newCount; ++i) {
        bool ours = false;
        if (Join(path, sizeof path, t->system.root, areas[i]) && Join(named, sizeof named, path, "\\")) {
            const Child* run = g_runs;
            for (size_t r = 0; r < runs; ++r) {
                char* const* lines = run[r].lines;
                for (size_t k = 0; k < run[r].lineCount && !ours; ++k) ours = strstr(lines[k], named) != nullptr;
            }
            ours = ours || HoldsOurPackage(*t, path);
        }
        if (!ours) {
            Differs(why, "%s appeared during the run, and its console does not name it (left in place)", path);
        } else if (!RemoveTree(path)) {
            t->cleanedUp = false;
        }
    }
    g_newCount = 0;
}

// A test package in <top>\name: the stand-in (this program), its scenario
// bound to this self-test, version.id naming the package, the driver files
// and a sub-folder.
bool MakePackage(const SelfTest& t, const Update& u, char* dir) {
    char path[kPath];
    char text[256];
    if (!Join(dir, kPath, t.top, "\\", u.name) || !CreateDirectoryA(dir, nullptr)) return false;
    (void)snprintf(text, sizeof text, "%s %s\nfirst %s\nrerun clean\n", kSelfTestMark, t.token, u.log->kind);
    bool ok = Join(path, sizeof path, dir, "\\mervane.scenario") && WriteText(path, text);
    (void)snprintf(text, sizeof text, "vorpkg self-test\r\n%s\r\n", u.name);
    if (u.versionId) ok = ok && Join(path, sizeof path, dir, "\\version.id") && WriteText(path, text);
    ok = ok && Join(path, sizeof path, dir, "\\zorvad.sys") && WriteText(path, "zorvad driver image\r\n");
    ok = ok && Join(path, sizeof path, dir, "\\zorvad.inf") &&
         WriteText(path, "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    ok = ok && Join(path, sizeof path, dir, "\\drivers") && CreateDirectoryA(path, nullptr);
    ok = ok && Join(path, sizeof path, dir, "\\drivers\\zorvad.cat") && WriteBytes(path, "cat\0\x5c\xff\r\n", 9);
    if (u.utility) ok = ok && Join(path, sizeof path, dir, "\\mervane.exe") && CopyFileA(t.self, path, FALSE);
    if (u.staleLog != nullptr) ok = ok && Join(path, sizeof path, dir, "\\VOR.LOG") && WriteText(path, u.staleLog);
    return ok;
}

// A run's package, where it starts, and the rest of its record.
struct Made {
    char package[kPath];
    char startIn[kPath];  // in place: the package, or its network name
    char rest[kLine];
    bool ran;
};
Made g_made[2];
ExpectedRun g_refusal;

// Runs vorpkg on packages made for it, two at once at most, in place or
// staged, and checks everything against the model; what they staged is
// removed unless kept. A refusal (g_refusal given) is started in the
// self-test's folder with its arguments, and must make and record nothing.
void RunUpdates(SelfTest* t, const Update* u, size_t count, char* why, char* work,
                const ExpectedRun* refusal = nullptr, bool keep = false, char* skip = nullptr) {
    Made* m = g_made;
    Child* runs = g_runs;
    bool all = true;  // every run ended: the records can be read
    size_t records = 0;
    work[0] = '\0';
    for (size_t i = 0; i < count; ++i) {
        if (refusal != nullptr) {
            (void)Join(m[i].package, kPath, u[i].args, "");
            (void)Join(m[i].startIn, kPath, t->top, "");
            continue;
        }
        if (!MakePackage(*t, u[i], m[i].package)) {
            Differs(why, "the test package %s\\%s cannot be made (error %lu)", t->top, u[i].name, GetLastError());
            return;
        }
        (void)Join(m[i].startIn, kPath, m[i].package, "");
        if (u[i].network && !ThroughShare(*t, m[i].package, m[i].startIn, skip)) return;
    }
    LogMark mark;
    MarkLog(*t, &mark);
    bool listed = ListQvt(t->system.root, "", g_before, sizeof g_before);
    for (size_t i = 0; i < count; ++i) {
        char out[kPath];
        const char* parts[] = {t->top, "\\", u[i].name, ".out"};
        m[i].ran = StrJoin(out, sizeof out, parts, 4) &&
                   StartChild(t->vorpkg, u[i].staged ? m[i].package : u[i].args, u[i].staged ? t->top : m[i].startIn,
                              out, &runs[i]);
    }
    for (size_t i = 0; i < count; ++i) m[i].ran = m[i].ran && FinishChild(&runs[i]);
    if (!ListQvt(t->system.root, g_before, g_new, sizeof g_new) || !listed ||
        !SplitLines(g_new + 1, g_newAreas, kMaxNew, &g_newCount))
        Differs(why, "the root's QVT* entries cannot all be listed");
    const bool staging = u[0].staged && refusal == nullptr;
    if (staging && g_newCount != 1)
        Differs(why, "%u staging areas made, expected one", static_cast<unsigned>(g_newCount));
    if (!staging && g_newCount != 0) Differs(why, "the run made %s%s", t->system.root, g_newAreas[0]);
    for (size_t i = 0; i < count; ++i) {
        Child* c = &runs[i];
        char run[24] = "";
        if (count > 1) (void)snprintf(run, sizeof run, "run %u ", static_cast<unsigned>(i + 1));
        if (!m[i].ran) {
            Differs(why, "%s%s", run, c->problem != nullptr ? c->problem : "vorpkg cannot be started");
            all = false;
            continue;
        }
        (void)Join(work, kPath, m[i].package, "");
        if (staging && g_newCount >= 1) (void)Join(work, kPath, t->system.root, g_newAreas[0]);
        char dir[kPath];
        (void)Join(dir, sizeof dir, u[i].network ? m[i].startIn : work, "\\");
        const ExpectedRun* e = refusal != nullptr ? refusal : &g_expected;
        if (refusal == nullptr)
            ExpectUpdate(t->system.procedure, dir, *u[i].log, u[i].utility, !u[i].staged && !u[i].versionId,
                         &g_expected, u[i].network);
        if (c->exitCode != static_cast<DWORD>(e->code))
            Differs(why, "%sexit code %lu, expected %d", run, c->exitCode, e->code);
        size_t lines = u[i].staged || refusal != nullptr ? c->lineCount : WithoutMadePrivate(t, c, why);
        (void)Join(dir, sizeof dir, run, "console");
        CompareLines(dir, c->lines, lines, e->console, e->consoleCount, why);
        if (refusal != nullptr) continue;
        CheckTrace(work, *e, why);
        if (staging && strcmp(work, m[i].package) != 0) {
            // The staged copy is the package, byte for byte; the package is only read.
            const char* made[] = {"mervane.trace", "VOR.LOG"};
            char what[kWhy];
            const char* differs = CompareTree(m[i].package, work, made, 2, what, sizeof what);
            if (differs != nullptr) Differs(why, "the staged copy: %s", differs);
            for (const char* name : made)
                if (Join(dir, sizeof dir, m[i].package, "\\", name) &&
                    GetFileAttributesA(dir) != INVALID_FILE_ATTRIBUTES)
                    Differs(why, "the package got %s", dir);
        }
        if (!u[i].staged && u[i].versionId)
            (void)RecordRest(m[records++].rest, kLine, "vorpkg self-test", u[i].name, e->code);
    }
    if (all) {
        const char* rests[] = {g_made[0].rest, g_made[1].rest};
        CheckRecords(*t, mark, rests, records, why);
    }
    if (!keep) RemoveNewAreas(t, count, why);
}

// One scenario: its runs all at once or one after the other; a refusal
// (g_refusal) is one run. A note is added to a failure.
void Play(SelfTest* t, const char* name, const Update* u, size_t count, bool atOnce, bool refusal = false,
          const char* note = "") {
    char why[kWhy] = "";
    char skip[kWhy] = "";
    char work[kPath];
    for (size_t i = 0; i < count; i += atOnce ? count : 1)
        RunUpdates(t, u + i, atOnce ? count : 1, why, work, refusal ? &g_refusal : nullptr, false, skip);
    if (why[0] != '\0') (void)StrAppend(why, kWhy, note);
    ReportScenario(name, why[0] != '\0' ? why : nullptr, skip[0] != '\0' ? skip : nullptr);
}

// A staged run refused with the line why + what, before it copies anything.
void StagedRefusal(SelfTest* t, const char* name, const char* package, const char* why, const char* what) {
    char text[kLine];
    const char* parts[] = {why, what, "\nCopying update files to the hard drive failed.\n"};
    (void)StrJoin(text, sizeof text, parts, 3);
    ExpectRefusal(text, 1, &g_refusal);
    const Update u = {name, &kClean, false, nullptr, true, package, false, false};
    Play(t, name, &u, 1, true, true);
}

void RootRefused(SelfTest* t) {
    char dotdot[kPath];
    const char root[] = "Package directory is the system drive root: ";
    StagedRefusal(t, "root-refused", t->system.root, root, t->system.root);
    (void)Join(dotdot, sizeof dotdot, t->system.windowsDir, "\\..");
    StagedRefusal(t, "root-as-windows-dotdot", dotdot, root, dotdot);
}

// The usage is that of this self-test's release: a vorpkg.exe of another
// says so.
void Usage(SelfTest* t) {
    char note[160] = "";
    if (strcmp(t->vorpkgVersion, VORPKG_SELFTEST_VERSION) != 0)
        (void)snprintf(note, sizeof note, " (the usage of version %s; vorpkg.exe is version %s)",
                       VORPKG_SELFTEST_VERSION, t->vorpkgVersion);
    ExpectRefusal(kUsage, 1, &g_refusal);
    const Update u = {"usage", &kClean, false, nullptr, false, "/?", false, false};
    Play(t, u.name, &u, 1, true, true, note);
}

void PackageLink(SelfTest* t) {
    const char name[] = "package-link";
    const char* skip = t->system.procedure == kProcedureNt ? "Windows NT 4.0 has no junctions"
                       : !t->system.reparsePoints          ? "the system drive keeps no reparse points"
                                                           : nullptr;
    if (skip != nullptr) {
        ReportScenario(name, nullptr, skip);
        return;
    }
    char package[kPath];
    char target[kPath];
    char link[kPath];
    char file[kPath];
    const Update u = {name, &kClean, true, nullptr, true, "", true, false};
    if (!MakePackage(*t, u, package) ||
        !Join(target, sizeof target, t->top, "\\link-target") || !CreateDirectoryA(target, nullptr) ||
        !Join(file, sizeof file, target, "\\not-in-the-package.txt") || !WriteText(file, "outside\r\n") ||
        !Join(link, sizeof link, package, "\\linked")) {
        ReportScenario(name, "the test package and the folder outside it cannot be made");
        return;
    }
    DWORD error = 0;
    if (!MakeJunction(link, target, &error)) {
        // The volume keeps reparse points: only Wine's shortfall is no fault.
        (void)snprintf(g_line, sizeof g_line, "%s (FSCTL_SET_REPARSE_POINT: error %lu)",
                       t->system.wine ? "Wine makes no junctions" : "no junction can be made", error);
        ReportScenario(name, t->system.wine ? nullptr : g_line, t->system.wine ? g_line : nullptr);
        return;
    }
    StagedRefusal(t, name, package, "Package holds a link: ", link);
}

// A folder vorpkg made, read back: exact where the system keeps a DACL as
// written, else only that no other account is granted more than allowed.
void Security(SelfTest* t, const char* name, bool staged) {
    if (!t->system.keepsSecurity) {
        ReportScenario(name, nullptr, "the system drive keeps no owners or permissions");
        return;
    }
    char why[kWhy] = "";
    char work[kPath];
    const Update u = {name, &kClean, true, nullptr, staged, "", true, false};
    RunUpdates(t, &u, 1, why, work, nullptr, true);
    const char* folder = staged ? work : t->qvlog;
    bool exact = t->fidelity.exact && (staged || !t->qvlogWasThere);
    char what[400];
    const char* differs =
        why[0] != '\0' ? nullptr
                       : CheckFolder(folder, staged ? kStagingArea : kLogFolder,
                                     t->system.procedure == kProcedureWin2k, exact, what, sizeof what);
    if (differs != nullptr) Differs(why, "%s: %s", folder, differs);
    RemoveNewAreas(t, 1, why);
    ReportScenario(name, why[0] != '\0' ? why : nullptr);
    if (why[0] == '\0' && !exact) {
        ReportLinef("      %s: checked only that no other account %s",
                    !t->fidelity.exact ? t->fidelity.note : "\\QVLOG was there before this self-test",
                    staged ? "is granted anything" : "may do more than read and list");
    }
}

// Two in-place runs at once: each as alone, and two whole records.
void TwoAtOnce(SelfTest* t) {
    const Update both[] = {{"two-at-once-1", &kClean, true, nullptr, false, "", true, false},
                           {"two-at-once-2", &kClean, true, nullptr, false, "", true, false}};
    Play(t, "two-at-once", both, 2, true);
}

// A character whose second byte is that of "\" in this code page, or nullptr.
const char* TrailBackslash(UINT codePage) {
    if (codePage == 932) return "\x83\x5c";  // katakana SO
    if (codePage == 936) return "\x81\x5c";
    return codePage == 950 ? "\xb3\x5c" : nullptr;
}

// Package folders whose names end in that character, where a byte-wise
// check for a trailing "\" takes it for the separator.
void DoubleByte(SelfTest* t) {
    const char name[] = "dbcs-trail-5c";
    const char* c = TrailBackslash(t->system.codePage);
    if (c == nullptr) {
        char why[96];
        (void)snprintf(why, sizeof why, "code page %u is not double-byte with a trail byte 0x5C", t->system.codePage);
        ReportScenario(name, nullptr, why);
        return;
    }
    char inPlace[32];
    char staged[32];
    (void)Join(inPlace, sizeof inPlace, "dbcs-inplace", c);
    (void)Join(staged, sizeof staged, "dbcs-staged", c);
    const Update runs[] = {{inPlace, &kDriver, true, nullptr, false, "", true, false},
                           {staged, &kDriver, true, nullptr, true, "", true, false}};
    Play(t, name, runs, 2, false);
}

}  // namespace

void PlayScenarios(SelfTest* t) {
    for (const Update& u : kUpdates) Play(t, u.name, &u, 1, true);
    RootRefused(t);
    Usage(t);
    PackageLink(t);
    Security(t, "staging-area-security", true);
    Security(t, "qvlog-private", false);
    TwoAtOnce(t);
    DoubleByte(t);
}

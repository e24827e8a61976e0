#include "selftest/standin.h"

#include "common/strbuf.h"
#include "selftest/files.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const size_t kLineSize = 1024;    // a command line, a scenario line, a path
const size_t kLogSize = 65536;    // the bytes of one log
const size_t kWords = 8;          // one more than an accepted line has

char g_folder[MAX_PATH];          // this program's folder, with its backslash
char g_path[kLineSize];
char g_log[kLogSize];
char g_text[kLogSize];

bool FindFolder() {
    DWORD n = GetModuleFileNameA(nullptr, g_folder, MAX_PATH);
    char* slash = n == 0 || n >= MAX_PATH ? nullptr : strrchr(g_folder, '\\');
    if (slash != nullptr) slash[1] = '\0';
    return slash != nullptr;
}

// g_path: a file next to this program.
bool NextToMe(const char* name) { return Join(g_path, sizeof g_path, g_folder, name); }

void Trace(const char* prefix, const char* line) {
    FILE* f = NextToMe("mervane.trace") ? fopen(g_path, "ab") : nullptr;
    if (f == nullptr) {
        (void)fprintf(stderr, "mervane: cannot write trace %s\n", g_path);
        return;
    }
    (void)fprintf(f, "%s%s\n", prefix, line);
    (void)fclose(f);
}

// Whether the first word (quoted or not) names mervane.exe, with or without a
// path; *end: where that word ends.
bool IsProgramName(const char* raw, size_t* end) {
    size_t start = 0;
    size_t stop = strcspn(raw, " \t");
    *end = stop;
    if (raw[0] == '"') {
        const char* close = strchr(raw + 1, '"');
        *end = close == nullptr ? strlen(raw) : static_cast<size_t>(close - raw) + 1;
        start = 1;  // the name within the quotes (a quote alone names nothing)
        stop = *end - 1;
    }
    for (size_t i = start; i < stop; ++i)
        if (raw[i] == '\\' || raw[i] == '/') start = i + 1;
    return stop == start + 11 && strncmp(raw + start, "mervane.exe", 11) == 0;
}

bool Usable(const char* word) { return *word != '\0' && strpbrk(word, "\"\t") == nullptr; }

struct Accepted {
    const char* log;
    const char* file;
    bool rerun;
};

// Fills out from an accepted line (split into words in place); otherwise
// returns why not.
const char* Check(char* line, Accepted* out) {
    size_t end = 0;
    if (!IsProgramName(line, &end)) return "unexpected program name";
    if (line[end] != ' ') return "no options";
    // The words at single blanks, up to one more than an accepted line has.
    char* words[kWords];
    char** word = words;
    size_t n = 0;
    for (char* p = line + end + 1; p != nullptr && n < kWords; ++n) {
        word[n] = p;
        p = strchr(p, ' ');
        if (p != nullptr) *p++ = '\0';
    }
    if (n != 7 || strcmp(words[0], "/l") != 0 || strcmp(words[2], "/s") != 0 ||
        strcmp(words[3], "/noreboot") != 0 || strcmp(words[4], "/i") != 0)
        return "options other than /l <log> /s /noreboot /i <file> /oisafe12|/oinowdp";
    if (strcmp(words[6], "/oisafe12") != 0 && strcmp(words[6], "/oinowdp") != 0)
        return "last option is neither /oisafe12 nor /oinowdp";
    if (!Usable(words[1]) || !Usable(words[5])) return "log or file name not usable";
    if (GetFileAttributesA(words[5]) == INVALID_FILE_ATTRIBUTES) return "no such file";
    out->log = words[1];
    out->file = words[5];
    out->rerun = strcmp(words[6], "/oinowdp") == 0;
    return nullptr;
}

struct Scenario {
    char first[64];
    char rerun[64];
    int exitCode;
};

// Takes one scenario line; false when it is not understood.
bool TakeLine(char* line, Scenario* s) {
    size_t n = strlen(line);
    if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
    if (n == 0 || line[0] == '#') return true;
    char* blank = strchr(line, ' ');
    const char* value = blank == nullptr ? "" : blank + 1;
    if (blank != nullptr) *blank = '\0';
    if (strcmp(line, "first") == 0) return StrCopy(s->first, sizeof s->first, value);
    if (strcmp(line, "rerun") == 0) return StrCopy(s->rerun, sizeof s->rerun, value);
    if (strcmp(line, "exit") == 0 && *value != '\0') {
        s->exitCode = static_cast<int>(strtol(value, nullptr, 10));
        return true;
    }
    if (blank != nullptr) *blank = ' ';
    return false;
}

// Reads the scenario (length bytes of g_text) into s; the first line it
// cannot read, or nullptr.
const char* LoadScenario(long length, Scenario* s) {
    for (char* p = g_text; p < g_text + length;) {
        char* nl = strchr(p, '\n');
        if (nl != nullptr) *nl = '\0';
        if (!TakeLine(p, s)) return p;
        if (nl == nullptr) break;
        p = nl + 1;
    }
    return nullptr;
}

const char kDone[] = "Update finished.";
const char kDriver[] = "Error Code 28: the driver is back-level";
const char kBios[] = "Error Code 29: the BIOS is back-level";
// Lines LogFor makes for the kinds: the first line, which names the file,
// and the line of "long".
char g_head[kLineSize];
char g_long[301];

// A kind's lines, each followed by end.
struct Kind {
    const char* name;
    const char* lines[4];
    const char* end;
};
const Kind kKinds[] = {
    {"clean", {g_head, "Driver level current.", kDone, nullptr}, "\n"},
    {"driver", {g_head, kDriver, kDone, nullptr}, "\n"},
    {"bios", {g_head, kBios, kDone, nullptr}, "\n"},
    {"both", {g_head, kBios, kDriver, kDone}, "\n"},
    {"crlf", {g_head, kDriver, kDone, nullptr}, "\r\n"},
    {"long", {g_long, kDone, nullptr, nullptr}, "\n"},
};

// g_log for a kind and its length; -1 for an unknown kind or a file that
// cannot be read.
long LogFor(const char* kind, const char* file) {
    g_log[0] = '\0';
    if (!Join(g_head, sizeof g_head, "mervane stand-in: update of ", file)) return -1;
    // 250 dots, the marker from the 251st character, dots up to 300.
    memset(g_long, '.', 300);
    memcpy(g_long + 250, kDriver, sizeof kDriver - 1);
    for (const Kind& k : kKinds) {
        if (strcmp(kind, k.name) != 0) continue;
        for (const char* line : k.lines)
            if (line != nullptr && (!StrAppend(g_log, kLogSize, line) || !StrAppend(g_log, kLogSize, k.end)))
                return -1;
        return static_cast<long>(strlen(g_log));
    }
    if (strcmp(kind, "nul") == 0) {
        // "status", a zero byte, then " " and the marker in the same line.
        const char tail[] = "status\0 Error Code 28: the driver is back-level\nUpdate finished.\n";
        size_t at = strlen(g_head) + 1;
        if (!Join(g_log, kLogSize, g_head, "\n") || at + sizeof tail > kLogSize) return -1;
        memcpy(g_log + at, tail, sizeof tail);
        return static_cast<long>(at + sizeof tail - 1);
    }
    if (strncmp(kind, "file:", 5) == 0) return NextToMe(kind + 5) ? ReadBytesAt(g_path, 0, g_log, kLogSize) : -1;
    return -1;
}

// The self-test's copy runs only in a package a self-test made, and only
// while that self-test runs: its mark line names the one-off value of the
// mutex the live self-test holds (made here, it was not there).
bool InSelfTestPackage(long length) {
    size_t mark = strlen(kSelfTestMark);
    const char* text = g_text;
    if (length <= static_cast<long>(mark) + 1 || strncmp(text, kSelfTestMark, mark) != 0 || text[mark] != ' ')
        return false;
    char name[64];
    size_t n = strcspn(text + mark + 1, "\r\n");
    if (n == 0 || n >= sizeof name - sizeof kLiveMutexPrefix) return false;
    (void)snprintf(name, sizeof name, "%s%.*s", kLiveMutexPrefix, static_cast<int>(n), text + mark + 1);
    HANDLE live = CreateMutexA(nullptr, FALSE, name);
    bool running = live != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    if (live != nullptr) CloseHandle(live);
    return running;
}

}  // namespace

int StandInMain(bool selfTest) {
    long scenarioLength = -1;
    if (FindFolder() && NextToMe("mervane.scenario")) scenarioLength = ReadBytesAt(g_path, 0, g_text, kLogSize);
    if (selfTest && !InSelfTestPackage(scenarioLength)) {
        (void)fputs("This is vorpkg's self-test stand-in (vorpkg-selftest.exe), not the vendor's update utility "
                    "mervane.exe: it has updated nothing.\n",
                    stdout);
        (void)fflush(stdout);
        return kNotAnUpdate;
    }

    const char* raw = GetCommandLineA();
    char line[kLineSize];
    Accepted run = {nullptr, nullptr, false};
    const char* why = StrCopy(line, sizeof line, raw) ? Check(line, &run) : "command line too long";
    Trace(why != nullptr ? "REFUSED: " : "", raw);
    if (why != nullptr) {
        (void)fprintf(stderr, "mervane: refused (%s): %s\n", why, raw);
        return 2;
    }

    Scenario s = {"clean", "clean", 0};
    const char* bad = scenarioLength >= 0 ? LoadScenario(scenarioLength, &s) : nullptr;
    if (bad != nullptr) {
        (void)fprintf(stderr, "mervane: unreadable scenario line: %s\n", bad);
        return 3;
    }
    const char* kind = run.rerun ? s.rerun : s.first;
    if (strcmp(kind, "none") == 0) return s.exitCode;
    long length = LogFor(kind, run.file);
    if (length < 0) {
        (void)fprintf(stderr, "mervane: no log for scenario kind %s\n", kind);
        return 3;
    }
    FILE* f = fopen(run.log, "wb");
    if (f == nullptr) {
        (void)fprintf(stderr, "mervane: cannot write log %s\n", run.log);
        return 3;
    }
    (void)fwrite(g_log, 1, static_cast<size_t>(length), f);
    (void)fclose(f);
    return s.exitCode;
}

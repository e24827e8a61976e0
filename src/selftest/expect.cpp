#include "selftest/expect.h"

#include "common/strbuf.h"

#include <stdio.h>
#include <string.h>

namespace {

char* Line(char* lines, size_t i) { return lines + i * kExpectLine; }

void Add(char* lines, size_t* count, bool* fits, const char* a, const char* b = "", const char* c = "") {
    const char* parts[] = {a, b, c};
    if (*count < kExpectLines && StrJoin(Line(lines, *count), kExpectLine, parts, 3))
        ++*count;
    else
        *fits = false;
}

void Say(ExpectedRun* e, const char* a, const char* b = "", const char* c = "") {
    Add(e->console, &e->consoleCount, &e->fits, a, b, c);
}

// "mervane.exe /l <dir>VOR.LOG /s /noreboot /i <dir><file> <option>"
void Command(char* buf, const char* dir, const char* file, const char* option) {
    const char* parts[] = {"mervane.exe /l ", dir, "VOR.LOG /s /noreboot /i ", dir, file, option};
    (void)StrJoin(buf, kExpectLine, parts, 6);
}

// "MM-DD-YYYY hh:mm:ss" as "YYYYMMDDhhmmss", comparable; false when not so.
bool Sortable(const char* s, char* out) {
    const char* form = "99-99-9999 99:99:99";
    for (size_t i = 0; form[i] != '\0'; ++i)
        if (form[i] == '9' ? (s[i] < '0' || s[i] > '9') : s[i] != form[i]) return false;
    const int order[] = {6, 7, 8, 9, 0, 1, 3, 4, 11, 12, 14, 15, 17, 18};
    const int* pick = order;
    for (size_t i = 0; i < sizeof order / sizeof order[0]; ++i) out[i] = s[pick[i]];
    out[14] = '\0';
    return true;
}

}  // namespace

const char* ExpectedLine(const char* lines, size_t i) { return lines + i * kExpectLine; }

void ExpectUpdate(Procedure procedure, const char* dir, const ToolLog& log, bool utility, bool noVersionId,
                  ExpectedRun* e, bool network) {
    memset(e, 0, sizeof *e);
    e->fits = true;
    int code = 9;
    if (procedure != kProcedureNone && network) {
        // cmd cannot start there: refused before anything runs.
        Say(e, "Update directory is a network folder: ", dir);
        code = 1;
    } else if (procedure != kProcedureNone) {
        const bool nt = procedure == kProcedureNt;
        char first[kExpectLine];
        char rerun[kExpectLine];
        Command(first, dir, nt ? "zorvad.sys" : "zorvad.inf", " /oisafe12");
        Command(rerun, dir, "zorvad.sys", " /oinowdp");
        Say(e, nt ? "WinNT command to run is [" : "Win2k command to run is [", first, "]");
        if (!utility) {
            Say(e, "Update utility not found: ", dir, "mervane.exe");
            code = 1;
        } else {
            Add(e->trace, &e->traceCount, &e->fits, first);
            code = log.code;
            if (!log.written) Say(e, "Update utility left no new log: ", dir, "VOR.LOG");
            if (!nt && log.bios) Say(e, "THE BIOS IS BACKLEVEL");
            if (log.driver) {
                Say(e, "THE DRIVER IS BACKLEVEL");
                Say(e, "about to run [", rerun, "]");
                Add(e->trace, &e->traceCount, &e->fits, rerun);
            }
            // NT 4.0: the last command once more, unannounced.
            if (nt) Add(e->trace, &e->traceCount, &e->fits, log.driver ? rerun : first);
        }
    }
    e->code = code;
    if (noVersionId) Say(e, "qvLogger: Cannot Read Version.id file");
    char number[16];
    (void)snprintf(number, sizeof number, "%d", code);
    Say(e, "Return Code from vorpkg is ", number);
}

void ExpectRefusal(const char* text, int code, ExpectedRun* e) {
    memset(e, 0, sizeof *e);
    e->fits = true;
    e->code = code;
    char line[kExpectLine];
    for (const char* p = text; *p != '\0';) {
        size_t n = strcspn(p, "\n");
        if (n >= sizeof line) e->fits = false;
        (void)snprintf(line, sizeof line, "%.*s", static_cast<int>(n), p);
        Say(e, line);
        p += p[n] == '\n' ? n + 1 : n;
    }
}

bool RecordRest(char* buf, size_t size, const char* update, const char* version, int code) {
    int n = snprintf(buf, size, ",Update=%s,New=%s,Status=%s,ReturnCode=%d \r\n", update, version,
                     code == 0 ? "Success" : "Unknown", code);
    return n > 0 && static_cast<size_t>(n) < size;
}

bool StampWithin(const char* stamp, const char* before, const char* after) {
    char s[15];
    char b[15];
    char a[15];
    return Sortable(stamp, s) && Sortable(before, b) && Sortable(after, a) && strcmp(b, s) <= 0 &&
           strcmp(s, a) <= 0;
}

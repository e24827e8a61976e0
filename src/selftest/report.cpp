#include "selftest/report.h"

#include <stdarg.h>
#include <stdio.h>

namespace {

FILE* g_file = nullptr;
bool g_written = true;
int g_passed = 0;
int g_failed = 0;

}  // namespace

bool ReportOpen(const char* path) {
    g_file = fopen(path, "w");
    return g_file != nullptr;
}

void ReportLine(const char* fmt, ...) {
    char line[2048];
    va_list args;
    va_start(args, fmt);
    (void)vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    (void)printf("%s\n", line);
    (void)fflush(stdout);
    if (g_file != nullptr && fprintf(g_file, "%s\n", line) < 0) g_written = false;
}

void ReportScenario(const char* name, const char* why, const char* notPlayed) {
    if (notPlayed != nullptr) {
        ReportLine("----  %-22s not played here: %s", name, notPlayed);
    } else if (why == nullptr) {
        ++g_passed;
        ReportLine("pass  %s", name);
    } else {
        ++g_failed;
        ReportLine("FAIL  %-22s %s", name, why);
    }
}

bool ReportClose() {
    ReportLine("%d passed, %d failed", g_passed, g_failed);
    if (g_file != nullptr && fclose(g_file) != 0) g_written = false;
    g_file = nullptr;
    return g_failed == 0 && g_written;
}

#include "selftest/report.h"

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

void ReportLine(const char* line) {
    (void)printf("%s\n", line);
    (void)fflush(stdout);
    if (g_file != nullptr && fprintf(g_file, "%s\n", line) < 0) g_written = false;
}

void ReportScenario(const char* name, const char* why, const char* notPlayed) {
    if (notPlayed != nullptr) {
        ReportLinef("----  %-22s not played here: %s", name, notPlayed);
    } else if (why == nullptr) {
        ++g_passed;
        ReportLinef("pass  %s", name);
    } else {
        ++g_failed;
        ReportLinef("FAIL  %-22s %s", name, why);
    }
}

bool ReportClose() {
    ReportLinef("%d passed, %d failed", g_passed, g_failed);
    if (g_file != nullptr && fclose(g_file) != 0) g_written = false;
    g_file = nullptr;
    return g_failed == 0 && g_written;
}

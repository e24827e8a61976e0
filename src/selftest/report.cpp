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
    char line[2048];
    if (notPlayed != nullptr) {
        (void)snprintf(line, sizeof line, "----  %-22s not played here: %s", name, notPlayed);
    } else if (why == nullptr) {
        ++g_passed;
        (void)snprintf(line, sizeof line, "pass  %s", name);
    } else {
        ++g_failed;
        (void)snprintf(line, sizeof line, "FAIL  %-22s %s", name, why);
    }
    ReportLine(line);
}

bool ReportClose() {
    char line[64];
    (void)snprintf(line, sizeof line, "%d passed, %d failed", g_passed, g_failed);
    ReportLine(line);
    if (g_file != nullptr && fclose(g_file) != 0) g_written = false;
    g_file = nullptr;
    return g_failed == 0 && g_written;
}

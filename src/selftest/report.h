// The report: every line to the console and to the report file beside the
// self-test, and the count of passes and failures.
#ifndef VORPKG_SELFTEST_REPORT_H
#define VORPKG_SELFTEST_REPORT_H

#include <stddef.h>
#include <stdio.h>

// False when the file cannot be made.
bool ReportOpen(const char* path);
// One line (no line end in it).
void ReportLine(const char* line);
// One line made as printf makes it, cut at 2,047 characters.
template <typename... Args>
void ReportLinef(const char* format, Args... args) {
    char line[2048];
    (void)snprintf(line, sizeof line, format, args...);
    ReportLine(line);
}
// A scenario's outcome: why is nullptr for a pass; notPlayed says why it
// could not be played here (neither pass nor failure).
void ReportScenario(const char* name, const char* why, const char* notPlayed = nullptr);
// The last line; true when nothing failed and the file was written whole.
bool ReportClose();

#endif

#include "resultlog/qvlogger.h"

#include "common/console.h"
#include "os/oscalls.h"
#include "resultlog/recordline.h"
#include "resultlog/resultrecord.h"

#include <stdio.h>
#include <string.h>

namespace {

// The stamp texts stay until the process ends.
char g_date[kStampSize];
char g_time[kStampSize];

// One read of at most 127 characters; empty after the end of the file or
// a read error, whose buffer contents are not to be trusted.
void ReadVersionLine(FILE* f, char* line) {
    memset(line, 0, kVersionLineSize);
    if (fgets(line, kVersionLineSize, f) == nullptr) memset(line, 0, kVersionLineSize);
}

}  // namespace

int qvLogger(int resultCode) {
    SYSTEMTIME now;
    g_os.GetLocalTime(&now);

    FILE* f = fopen("version.id", "r");
    if (f == nullptr) {
        ConsoleMessage("qvLogger: Cannot Read Version.id file");
        return 1;
    }
    char first[kVersionLineSize];
    char second[kVersionLineSize];
    ReadVersionLine(f, first);
    ReadVersionLine(f, second);
    fclose(f);
    // A first line of 127 characters or more leaves its rest for the second
    // read: that rest is then the New value.
    const char* update = VersionValue(first);
    const char* newValue = VersionValue(second);

    FormatStamp(now.wHour, now.wMinute, now.wSecond, false, g_time);
    FormatStamp(now.wMonth, now.wDay, now.wYear, true, g_date);
    WriteResultRecord(g_date, g_time, update, newValue, resultCode);
    return 0;
}

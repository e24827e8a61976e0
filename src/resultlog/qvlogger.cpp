#include "resultlog/qvlogger.h"

#include "common/console.h"
#include "os/oscalls.h"
#include "resultlog/recordline.h"
#include "resultlog/resultrecord.h"
#include "resultlog/versionfile.h"

#include <share.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

// The stamp texts stay until the process ends.
char g_date[kStampSize];
char g_time[kStampSize];

}  // namespace

int qvLogger(int resultCode) {
    SYSTEMTIME now;
    g_os.GetLocalTime(&now);

    _doserrno = 0;
    FILE* f = g_os.OpenStream("version.id", "r", _SH_DENYNO);
    if (f == nullptr) {
        // A package without one records nothing, as ever; one that is there
        // but cannot be read loses the run's record, which must not pass.
        bool missing = _doserrno == ERROR_FILE_NOT_FOUND || _doserrno == ERROR_PATH_NOT_FOUND;
        ConsoleMessage("qvLogger: Cannot Read Version.id file");
        return missing ? 1 : kVersionUnreadable;
    }
    char first[kVersionLineSize];
    char second[kVersionLineSize];
    const char* update = nullptr;
    const char* newValue = nullptr;
    bool read = ReadVersionValues(f, first, second, &update, &newValue, g_os.ReadStreamLine);
    (void)g_os.CloseStream(f);  // read only: nothing to lose
    // Values the file may not hold would be recorded as its own.
    if (!read) {
        ConsoleMessage("qvLogger: Cannot Read Version.id file");
        return kVersionUnreadable;
    }

    FormatStamp(now.wHour, now.wMinute, now.wSecond, false, g_time);
    FormatStamp(now.wMonth, now.wDay, now.wYear, true, g_date);
    WriteResultRecord(g_date, g_time, update, newValue, resultCode);
    return 0;
}

#include "resultlog/resultrecord.h"

#include "common/console.h"
#include "common/limits.h"
#include "common/strbuf.h"
#include "os/oscalls.h"
#include "resultlog/recordline.h"

#include <stdlib.h>
#include <string.h>

namespace {

[[noreturn]] void LogFailed() {
    ConsoleMessage("Log File Creation Failed!");
    exit(1);
}

}  // namespace

FILE* OpenResultLog() {
    char path[kRecordPathSize];
    memset(path, 0, sizeof path);
    // msvcrt matches the name in any letter case, as the environment block does.
    const char* drive = getenv("systemdrive");
    if (drive == nullptr || !LogDirPath(path, sizeof path, drive)) LogFailed();
    // Usually there already; the open below tells whether we can go on.
    g_os.CreateDirectoryA(path, nullptr);
    StrAppend(path, sizeof path, kLogFileName);  // fits: LogDirPath made room
    FILE* log = fopen(path, "a+");
    if (log == nullptr) LogFailed();
    return log;
}

int WriteResultRecord(const char* date, const char* time, const char* update, const char* newValue,
                      int resultCode) {
    FILE* log = OpenResultLog();
    (void)fflush(log);
    char line[kRecordLineSize];
    memset(line, 0, sizeof line);
    // One put of the whole line, so that no part of it reaches the file alone.
    // What the put, flush and close report is not examined: the run's result
    // stands whether or not its record could be written.
    if (ComposeRecordLine(line, sizeof line, date, time, update, newValue, resultCode)) (void)fputs(line, log);
    (void)fflush(log);
    (void)fclose(log);
    return 0;
}

#include "resultlog/recordline.h"

#include "common/strbuf.h"

#include <stdio.h>
#include <string.h>

const char kLogFileName[] = "\\QV.log";

namespace {
const char kLogDirName[] = "\\QVLOG";
}  // namespace

char* FormatStamp(uint16_t first, uint16_t second, uint16_t third, bool date, char* out) {
    const char* sep = date ? "-" : ":";
    char scratch[8];  // a 16-bit value prints as at most five digits
    out[0] = '\0';
    (void)sprintf(scratch, "%02d", static_cast<int>(first));
    StrAppend(out, kStampSize, scratch);
    StrAppend(out, kStampSize, sep);
    (void)sprintf(scratch, "%02d", static_cast<int>(second));
    StrAppend(out, kStampSize, scratch);
    StrAppend(out, kStampSize, sep);
    (void)sprintf(scratch, "%02d", static_cast<int>(third));
    StrAppend(out, kStampSize, scratch);
    return out;
}

// As strtok(line, "\n") would give it, without strtok's hidden state.
const char* VersionValue(char* line) {
    char* start = line;
    while (*start == '\n') ++start;
    char* end = start;
    while (*end != '\0' && *end != '\n') ++end;
    *end = '\0';
    return start;
}

bool ComposeRecordLine(char* line, size_t size, const char* date, const char* time, const char* update,
                       const char* newValue, int resultCode) {
    char code[12];  // "-2147483648" and its terminator
    (void)sprintf(code, "%d", resultCode);
    const char* parts[] = {date,     " ",      time,      ",Update=", update,
                           ",New=",  newValue, ",Status=", resultCode == 0 ? "Success" : "Unknown",
                           ",ReturnCode=", code, " ",      "\n"};
    return StrJoin(line, size, parts, sizeof parts / sizeof parts[0]);
}

bool LogDirPath(char* path, size_t size, const char* systemDrive) {
    if (size == 0) return false;
    path[0] = '\0';
    if (systemDrive[0] == '\0') return false;
    // Room is needed for the file name that follows, not just the directory.
    if (strlen(systemDrive) + strlen(kLogDirName) + strlen(kLogFileName) >= size) return false;
    StrCopy(path, size, systemDrive);
    StrAppend(path, size, kLogDirName);
    return true;
}

bool SetAsidePath(char* path, size_t size, const char* dir, const char* date, const char* time) {
    if (size == 0) return false;
    path[0] = '\0';
    bool fits = StrCopy(path, size, dir) && StrAppend(path, size, "\\QV-open-to-others-set-aside-") &&
                StrAppend(path, size, date) && StrAppend(path, size, "-");
    size_t at = strlen(path);
    fits = fits && StrAppend(path, size, time) && StrAppend(path, size, ".log");
    if (!fits) {
        path[0] = '\0';
        return false;
    }
    // A colon is no character of a file name.
    for (char* c = path + at; *c != '\0'; ++c)
        if (*c == ':') *c = '-';
    return true;
}

// Texts of the result record: time stamps, version values, the record line
// and the log path. No OS calls here.
#ifndef VORPKG_RESULTLOG_RECORDLINE_H
#define VORPKG_RESULTLOG_RECORDLINE_H

#include <stddef.h>
#include <stdint.h>

const size_t kStampSize = 128;        // date or time text
const size_t kVersionLineSize = 128;  // one read from version.id
const size_t kRecordLineSize = 512;   // one result log line

// The three values, each "%02d", joined by '-' (date) or ':' (time), into
// out (kStampSize characters). Returns out.
char* FormatStamp(uint16_t first, uint16_t second, uint16_t third, bool date, char* out);

// The first line-feed-delimited piece of one version.id read, cut off in
// place; an empty text when the read holds no such piece.
const char* VersionValue(char* line);

// The whole record line, "\n" included. False (and line left empty) when it
// does not fit in size characters.
bool ComposeRecordLine(char* line, size_t size, const char* date, const char* time, const char* update,
                       const char* newValue, int resultCode);

// The log directory path, systemDrive followed by "\QVLOG". False (and path
// left empty) when systemDrive is empty or the log file path below it would
// not fit in size characters.
bool LogDirPath(char* path, size_t size, const char* systemDrive);

// The path a log that was open to other accounts is set aside as, in the
// same folder: dir, then "\QV-open-to-others-set-aside-" with the date and
// the time (its colons as '-') and ".log". False (and path left empty) when
// it does not fit in size characters.
bool SetAsidePath(char* path, size_t size, const char* dir, const char* date, const char* time);

extern const char kLogFileName[];  // "\QV.log", appended to the directory path

#endif

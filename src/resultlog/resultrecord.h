// The result log, C:\QVLOG\QV.log on the system drive: one line appended per
// recorded run.
#ifndef VORPKG_RESULTLOG_RESULTRECORD_H
#define VORPKG_RESULTLOG_RESULTRECORD_H

#include <stdio.h>

// The log file opened for appending, its directory made when missing. When
// it cannot be opened the process ends here with exit status 1.
FILE* OpenResultLog();

// Appends one line for the run to the log. Returns 0 whenever it returns.
int WriteResultRecord(const char* date, const char* time, const char* update, const char* newValue,
                      int resultCode);

#endif

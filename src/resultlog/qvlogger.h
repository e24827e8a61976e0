#ifndef VORPKG_RESULTLOG_QVLOGGER_H
#define VORPKG_RESULTLOG_QVLOGGER_H

// Appends one time-stamped line for resultCode to the result log, with the
// two values of version.id in the current directory. 0 when the line was
// handed on, 1 when there is no version.id, kVersionUnreadable when there is
// one that cannot be opened (held, locked, access denied).
const int kVersionUnreadable = 2;
int qvLogger(int resultCode);

#endif

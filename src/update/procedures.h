// The two platform update procedures. dir is the work directory, ending in
// a backslash, already the current directory. Each returns a result code:
// 1 when the work directory is refused, when the utility is not in it before
// one of its runs (that run and any after it are not made), when a run
// cannot be started or its end awaited (nothing after it is read or run), or
// when the utility's first run left no new log (none, or the one from before,
// unchanged) or one that cannot be read.
#ifndef VORPKG_UPDATE_PROCEDURES_H
#define VORPKG_UPDATE_PROCEDURES_H

int UpdateWinNT(const char* dir);
int UpdateWin2k(const char* dir);

#endif

// The two platform update procedures. dir is the work directory, ending in
// a backslash, already the current directory. Each returns a result code.
#ifndef VORPKG_UPDATE_PROCEDURES_H
#define VORPKG_UPDATE_PROCEDURES_H

int UpdateWinNT(const char* dir);
int UpdateWin2k(const char* dir);

#endif

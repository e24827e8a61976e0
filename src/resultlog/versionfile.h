// The two reads of version.id and the values taken from them. Only stdio:
// no OS calls here.
#ifndef VORPKG_RESULTLOG_VERSIONFILE_H
#define VORPKG_RESULTLOG_VERSIONFILE_H

#include <stdio.h>

// Reads twice from f with fgets and a limit of kVersionLineSize (128) into
// first and second (kVersionLineSize characters each), and points update and
// newValue at the values cut from them: each at most 127 characters, an empty
// text when its read delivered none.
void ReadVersionValues(FILE* f, char* first, char* second, const char** update, const char** newValue);

#endif

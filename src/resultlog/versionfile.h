// The two reads of version.id and the values taken from them. Only stdio:
// no OS calls here.
#ifndef VORPKG_RESULTLOG_VERSIONFILE_H
#define VORPKG_RESULTLOG_VERSIONFILE_H

#include <stdio.h>

// How a line is read: fgets, or what stands in for it.
typedef char* (*LineRead)(char* line, int size, FILE* f);

// Reads twice from f with read (fgets) and a limit of kVersionLineSize (128)
// into first and second (kVersionLineSize characters each), and points
// update and newValue at the values cut from them: each at most 127
// characters, an empty text when its read met the end of the file. False
// when a read failed short of the end: its value is not the file's.
bool ReadVersionValues(FILE* f, char* first, char* second, const char** update, const char** newValue,
                       LineRead read = fgets);

#endif

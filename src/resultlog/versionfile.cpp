#include "resultlog/versionfile.h"

#include "resultlog/recordline.h"

#include <string.h>

namespace {

// One read of at most 127 characters; empty after the end of the file or
// a read error, whose buffer contents are not to be trusted. False on the
// error: nothing read, and not at the end.
bool ReadVersionLine(FILE* f, char* line, LineRead read) {
    memset(line, 0, kVersionLineSize);
    if (read(line, kVersionLineSize, f) != nullptr) return true;
    memset(line, 0, kVersionLineSize);
    return feof(f) != 0;
}

}  // namespace

bool ReadVersionValues(FILE* f, char* first, char* second, const char** update, const char** newValue,
                       LineRead read) {
    bool ok = ReadVersionLine(f, first, read);
    ok = ReadVersionLine(f, second, read) && ok;
    // A first line of 127 characters or more leaves its rest for the second
    // read: that rest is then the New value.
    *update = VersionValue(first);
    *newValue = VersionValue(second);
    return ok;
}

#include "resultlog/versionfile.h"

#include "resultlog/recordline.h"

#include <string.h>

namespace {

// One read of at most 127 characters; empty after the end of the file or
// a read error, whose buffer contents are not to be trusted.
void ReadVersionLine(FILE* f, char* line) {
    memset(line, 0, kVersionLineSize);
    if (fgets(line, kVersionLineSize, f) == nullptr) memset(line, 0, kVersionLineSize);
}

}  // namespace

void ReadVersionValues(FILE* f, char* first, char* second, const char** update, const char** newValue) {
    ReadVersionLine(f, first);
    ReadVersionLine(f, second);
    // A first line of 127 characters or more leaves its rest for the second
    // read: that rest is then the New value.
    *update = VersionValue(first);
    *newValue = VersionValue(second);
}

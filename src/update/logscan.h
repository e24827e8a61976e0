// The tool-log scan: looks for the two markers in the log's bytes, fed in
// pieces of any length. A marker is found wherever it stands, across piece
// boundaries and after a zero byte alike. No OS calls here.
#ifndef VORPKG_UPDATE_LOGSCAN_H
#define VORPKG_UPDATE_LOGSCAN_H

#include <stddef.h>

extern const char kBiosMarker[];    // "Error Code 29:"
extern const char kDriverMarker[];  // "Error Code 28:"

// Both markers are 14 characters: 13 bytes of one piece may begin a marker
// that the next piece ends.
const size_t kMarkerCarry = 13;

struct LogScan {
    bool bios;    // "Error Code 29:" seen
    bool driver;  // "Error Code 28:" seen
    char carry[kMarkerCarry];  // the last bytes fed, up to kMarkerCarry
    size_t carryLength;
};

void LogScanStart(LogScan* scan);
void LogScanFeed(LogScan* scan, const char* bytes, size_t length);

#endif

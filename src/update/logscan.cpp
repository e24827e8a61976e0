#include "update/logscan.h"

#include <string.h>

const char kBiosMarker[] = "Error Code 29:";
const char kDriverMarker[] = "Error Code 28:";

namespace {

const size_t kMarkerLength = sizeof kDriverMarker - 1;
static_assert(sizeof kBiosMarker == sizeof kDriverMarker, "markers share one length");
static_assert(kMarkerCarry == kMarkerLength - 1, "carry holds all but one byte of a marker");

// Exact byte comparison; zero bytes are bytes like any other.
bool Contains(const char* bytes, size_t length, const char* marker) {
    if (length < kMarkerLength) return false;
    for (size_t i = 0; i + kMarkerLength <= length; ++i)
        if (memcmp(bytes + i, marker, kMarkerLength) == 0) return true;
    return false;
}

void Look(LogScan* scan, const char* bytes, size_t length) {
    if (Contains(bytes, length, kBiosMarker)) scan->bios = true;
    if (Contains(bytes, length, kDriverMarker)) scan->driver = true;
}

}  // namespace

void LogScanStart(LogScan* scan) {
    memset(scan, 0, sizeof *scan);
}

void LogScanFeed(LogScan* scan, const char* bytes, size_t length) {
    // A marker that began in the carry ends within the first kMarkerCarry
    // bytes of this piece: look at the seam first, then at the piece.
    char seam[2 * kMarkerCarry];
    size_t head = length < kMarkerCarry ? length : kMarkerCarry;
    memcpy(seam, scan->carry, scan->carryLength);
    memcpy(seam + scan->carryLength, bytes, head);
    size_t seamLength = scan->carryLength + head;
    Look(scan, seam, seamLength);
    Look(scan, bytes, length);

    // Keep the last kMarkerCarry bytes of everything fed so far.
    if (length >= kMarkerCarry) {
        memcpy(scan->carry, bytes + length - kMarkerCarry, kMarkerCarry);
        scan->carryLength = kMarkerCarry;
    } else {
        size_t keep = seamLength < kMarkerCarry ? seamLength : kMarkerCarry;
        memcpy(scan->carry, seam + seamLength - keep, keep);
        scan->carryLength = keep;
    }
}

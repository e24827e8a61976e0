// The tool-log scan on any log, fed in pieces of sizes the fuzzer chooses
// (the procedure reads pieces of up to 255 bytes): each flag is set exactly
// when a plain search over all the log's bytes finds its marker, wherever
// the piece boundaries and zero bytes fall.
#include "check.h"
#include "update/logscan.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

namespace {

const size_t kMostPiece = 255;

bool Found(const std::string& log, const char* marker) { return log.find(marker) != std::string::npos; }

// Input: one byte n, then n % 33 piece sizes (0 to 255) used in turn over
// and over, then the log. No sizes, or none above 0: the procedure's own
// pieces of 255. Every piece is handed over in a buffer of exactly its size,
// so that a read past it is seen.
void Check(const uint8_t* data, size_t size) {
    size_t count = size ? std::min<size_t>(data[0] % 33, size - 1) : 0;
    const uint8_t* sizes = data + 1;
    size_t skip = size ? 1 + count : 0;
    std::string log(reinterpret_cast<const char*>(data) + skip, size - skip);
    if (std::all_of(sizes, sizes + count, [](uint8_t s) { return s == 0; })) count = 0;

    LogScan scan;
    LogScanStart(&scan);
    size_t at = 0;
    for (size_t i = 0; at < log.size(); ++i) {
        size_t want = count ? sizes[i % count] : kMostPiece;
        size_t piece = std::min(want, log.size() - at);
        char* copy = static_cast<char*>(malloc(piece ? piece : 1));
        memcpy(copy, log.data() + at, piece);
        LogScanFeed(&scan, copy, piece);
        free(copy);
        at += piece;
        CHECK(scan.carryLength <= kMarkerCarry);
    }
    // The procedure's last read may be empty (a log of a multiple of 255).
    LogScanFeed(&scan, log.data(), 0);
    CHECK(scan.bios == Found(log, kBiosMarker));
    CHECK(scan.driver == Found(log, kDriverMarker));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(data, size);
    return 0;
}

#include "run/platformclass.h"

namespace {
const unsigned long kPlatformNt = 2;        // VER_PLATFORM_WIN32_NT
const unsigned char kSuiteDatacenter = 0x80;  // VER_SUITE_DATACENTER
}  // namespace

PlatformClass ClassifyVersionFacts(const VersionFacts& facts) {
    if (!facts.queryOk) return Unsupported;
    if (facts.platformId != kPlatformNt) return Unsupported;
    if (facts.major == 4) return facts.minor == 0 ? Nt4 : Unsupported;
    if (facts.major != 5) return Unsupported;
    switch (facts.minor) {
    case 0:
        // Without the extended record the Datacenter test cannot be made.
        if (facts.extended && (facts.suiteLow & kSuiteDatacenter)) return Unsupported;
        return Win2000;
    case 1:
        return WinXp;
    case 2:
        return Server2003;
    default:
        return Unsupported;
    }
}

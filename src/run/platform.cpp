// The OS side of the classification: two version queries.
#include "os/oscalls.h"
#include "run/platformclass.h"

#include <string.h>

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record");
static_assert(sizeof(OSVERSIONINFOA) == 148, "plain version record");

PlatformClass ClassifyPlatform() {
    OSVERSIONINFOEXA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    VersionFacts facts = {};
    // Systems before NT 4.0 SP6 refuse the extended record; they still
    // answer the plain one, which then lacks the suite mask.
    facts.extended = g_os.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
    if (!facts.extended) info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    facts.queryOk = g_os.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
    facts.platformId = info.dwPlatformId;
    facts.major = info.dwMajorVersion;
    facts.minor = info.dwMinorVersion;
    facts.suiteLow = static_cast<unsigned char>(info.wSuiteMask & 0xFF);
    return ClassifyVersionFacts(facts);
}

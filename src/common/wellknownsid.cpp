#include "common/wellknownsid.h"

#include "os/oscalls.h"

#include <string.h>

bool MakeWellKnownSid(WellKnownSid which, DWORD* sid) {
    BYTE count = 2;
    DWORD first = SECURITY_BUILTIN_DOMAIN_RID;
    DWORD second = 0;
    switch (which) {
    case kSidSystem:
        count = 1;
        first = SECURITY_LOCAL_SYSTEM_RID;
        break;
    case kSidAdministrators:
        second = DOMAIN_ALIAS_RID_ADMINS;
        break;
    case kSidUsers:
        second = DOMAIN_ALIAS_RID_USERS;
        break;
    }
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    memset(sid, 0, kWellKnownSidBytes);
    if (!g_os.InitializeSid(sid, &nt, count)) return false;
    *g_os.GetSidSubAuthority(sid, 0) = first;
    if (count > 1) *g_os.GetSidSubAuthority(sid, 1) = second;
    return g_os.GetLengthSid(sid) <= kWellKnownSidBytes;
}

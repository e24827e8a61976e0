#include "common/strbuf.h"

#include <string.h>

bool StrCopy(char* buf, size_t size, const char* src) {
    if (size == 0) return false;
    buf[0] = '\0';
    return StrAppend(buf, size, src);
}

bool StrJoin(char* buf, size_t size, const char* const* parts, size_t count) {
    if (!StrCopy(buf, size, "")) return false;
    for (size_t i = 0; i < count; ++i) {
        if (!StrAppend(buf, size, parts[i])) {
            buf[0] = '\0';
            return false;
        }
    }
    return true;
}

bool StrAppend(char* buf, size_t size, const char* src) {
    size_t have = 0;
    while (have < size && buf[have] != '\0') ++have;
    size_t add = strlen(src);
    if (have >= size || add >= size - have) return false;
    memcpy(buf + have, src, add + 1);
    return true;
}

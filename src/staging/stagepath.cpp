#include "staging/stagepath.h"

#include "common/strbuf.h"

bool EnoughFreeSpace(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters) {
    // Two 32-bit counts cannot overflow 64 bits; the third can.
    uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    if (freeClusters != 0 && clusterBytes > UINT64_MAX / freeClusters) return true;
    return clusterBytes * freeClusters >= kMinFreeBytes;
}

bool JoinPath(char* buf, size_t size, const char* base, const char* name, const char* tail) {
    return StrCopy(buf, size, base) && StrAppend(buf, size, name) && StrAppend(buf, size, tail);
}

bool SourceForm(char* buf, size_t size, const char* base, const char* name) {
    if (!JoinPath(buf, size, base, name, "")) return false;
    size_t len = 0;
    while (buf[len] != '\0') ++len;
    if (len > 0 && buf[len - 1] == '\\') return true;
    return StrAppend(buf, size, "\\");
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SamePathIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
    return *a == *b;
}

#include "staging/stagepath.h"

#include "common/strbuf.h"

uint64_t FreeBytes(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters) {
    // Two 32-bit counts cannot overflow 64 bits; the third can.
    uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    if (freeClusters != 0 && clusterBytes > UINT64_MAX / freeClusters) return UINT64_MAX;
    return clusterBytes * freeClusters;
}

bool EnoughFreeSpace(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters) {
    return RoomForPackage(FreeBytes(sectorsPerCluster, bytesPerSector, freeClusters), 0);
}

uint64_t AddFileInClusters(uint64_t total, uint64_t size, uint64_t clusterBytes) {
    uint64_t used = size;
    if (clusterBytes != 0 && size % clusterBytes != 0) {
        uint64_t pad = clusterBytes - size % clusterBytes;
        used = size > UINT64_MAX - pad ? UINT64_MAX : size + pad;
    }
    return total > UINT64_MAX - used ? UINT64_MAX : total + used;
}

bool RoomForPackage(uint64_t freeBytes, uint64_t packageBytes) {
    // A saturated total never passes: it stands for more than any drive holds.
    return freeBytes >= packageBytes && freeBytes - packageBytes >= kMinFreeBytes;
}

bool JoinPath(char* buf, size_t size, const char* base, const char* name, const char* tail) {
    return StrCopy(buf, size, base) && StrAppend(buf, size, name) && StrAppend(buf, size, tail);
}

bool SourceForm(char* buf, size_t size, const char* base, const char* name, LeadByteTest isLeadByte) {
    if (!JoinPath(buf, size, base, name, "")) return false;
    if (name[0] == '\0' && EndsInBackslash(buf, isLeadByte)) return true;
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

bool IsDriveRoot(const char* dir, const char* root) {
    // Both "X:" followed by at most one backslash.
    if (root[0] == '\0' || root[1] != ':' || dir[0] == '\0' || dir[1] != ':') return false;
    if (LowerAscii(dir[0]) != LowerAscii(root[0])) return false;
    return dir[2] == '\0' || (dir[2] == '\\' && dir[3] == '\0');
}

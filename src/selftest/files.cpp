#include "selftest/files.h"

#include "common/heldfolder.h"
#include "common/strbuf.h"
#include "selftest/sha256.h"

#include <stdio.h>
#include <string.h>

bool Join(char* buf, size_t size, const char* a, const char* b, const char* c) {
    const char* parts[] = {a, b, c};
    return StrJoin(buf, size, parts, 3);
}

bool WriteBytes(const char* path, const char* bytes, size_t size) {
    FILE* f = fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = fwrite(bytes, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

bool WriteText(const char* path, const char* text) { return WriteBytes(path, text, strlen(text)); }

long ReadBytesAt(const char* path, long offset, char* buf, size_t size) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) return -1;
    size_t got = 0;
    if (fseek(f, offset, SEEK_SET) == 0) got = fread(buf, 1, size, f);
    (void)fclose(f);
    if (got >= size) return -1;
    buf[got] = '\0';
    return static_cast<long>(got);
}

bool FileStartsWith(const char* path, const char* text) {
    char head[128];
    size_t n = strlen(text);
    FILE* f = n < sizeof head ? fopen(path, "rb") : nullptr;
    if (f == nullptr) return false;
    bool starts = fread(head, 1, n, f) == n && memcmp(head, text, n) == 0;
    (void)fclose(f);
    return starts;
}

long FileSize(const char* path) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(path, &found);
    if (h == INVALID_HANDLE_VALUE) return -1;
    FindClose(h);
    return static_cast<long>(found.nFileSizeLow);
}

bool SplitLines(char* text, char** lines, size_t max, size_t* count) {
    *count = 0;
    for (char* p = text; *p != '\0';) {
        if (*count == max) return false;
        lines[(*count)++] = p;
        char* nl = strchr(p, '\n');
        if (nl == nullptr) break;
        *nl = '\0';
        if (nl > p && nl[-1] == '\r') nl[-1] = '\0';
        p = nl + 1;
    }
    return true;
}

bool RemoveTree(const char* path) {
    DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES) return true;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        (void)SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path) != 0;
    }
    // Held while listed, nobody can swap it for a link; a link, by its handle
    // or by its name (Wine opens through one), goes as a name: what it leads
    // to is not ours.
    HeldFolder held;
    bool ok = HoldFolder(path, 0, &held);
    a = GetFileAttributesA(path);
    if (ok && held.kind == kHandlePlain && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        (void)ForEachEntry(path, "\\*", [&](const WIN32_FIND_DATAA& found) {
            char child[kPath];
            ok = Join(child, sizeof child, path, "\\", found.cFileName) && RemoveTree(child) && ok;
            return true;
        });
    }
    LetGo(&held);
    return RemoveDirectoryA(path) != 0 && ok;
}

namespace {

char g_a[16384];
char g_b[16384];

// Entries of folder, but those named in extra; -1 when it cannot be listed.
long CountEntries(const char* folder, const char* const* extra, size_t extraCount) {
    long n = 0;
    bool listed = ForEachEntry(folder, "\\*", [&](const WIN32_FIND_DATAA& found) {
        bool skipped = false;
        for (size_t i = 0; i < extraCount && !skipped; ++i) skipped = _stricmp(found.cFileName, extra[i]) == 0;
        n += skipped ? 0 : 1;
        return true;
    });
    return listed ? n : -1;
}

// The two files hold the same bytes.
bool SameBytes(const char* a, const char* b) {
    FILE* f = fopen(a, "rb");
    FILE* g = fopen(b, "rb");
    bool same = f != nullptr && g != nullptr;
    for (size_t n = sizeof g_a; same && n == sizeof g_a;) {
        n = fread(g_a, 1, sizeof g_a, f);
        same = fread(g_b, 1, sizeof g_b, g) == n && memcmp(g_a, g_b, n) == 0;
    }
    if (f != nullptr) (void)fclose(f);
    if (g != nullptr) (void)fclose(g);
    return same;
}

}  // namespace

const char* CompareTree(const char* a, const char* b, const char* const* extra, size_t extraCount, char* why,
                        size_t size) {
    const char* differs = nullptr;
    long entries = 0;
    bool listed = ForEachEntry(a, "\\*", [&](const WIN32_FIND_DATAA& found) {
        char from[kPath];
        char to[kPath];
        ++entries;
        if (!Join(from, sizeof from, a, "\\", found.cFileName) || !Join(to, sizeof to, b, "\\", found.cFileName)) {
            differs = "a path is too long";
        } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            differs = CompareTree(from, to, nullptr, 0, why, size);
        } else if (!SameBytes(from, to)) {
            (void)snprintf(why, size, "%s is not the same as %s", to, from);
            differs = why;
        }
        return differs == nullptr;
    });
    if (!listed) return "the package cannot be listed";
    if (differs == nullptr && CountEntries(b, extra, extraCount) != entries) {
        (void)snprintf(why, size, "%s does not hold what %s holds, and no more", b, a);
        differs = why;
    }
    return differs;
}

bool HashPrefix(const char* path, long size, char* hex) {
    Sha256 sha;
    Sha256Start(&sha);
    bool ok = true;
    if (size > 0) {
        FILE* f = fopen(path, "rb");
        ok = f != nullptr;
        for (long left = size; ok && left > 0;) {
            size_t want = left < static_cast<long>(sizeof g_a) ? static_cast<size_t>(left) : sizeof g_a;
            size_t got = fread(g_a, 1, want, f);
            Sha256Feed(&sha, reinterpret_cast<const uint8_t*>(g_a), got);
            ok = got == want;
            left -= static_cast<long>(got);
        }
        if (f != nullptr) (void)fclose(f);
    }
    Sha256Hex(&sha, hex);
    return ok;
}

void LocalStamp(char* stamp) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    (void)snprintf(stamp, 20, "%02u-%02u-%04u %02u:%02u:%02u", now.wMonth, now.wDay, now.wYear, now.wHour,
                   now.wMinute, now.wSecond);
}

bool ListQvt(const char* root, const char* before, char* names, size_t size) {
    bool fits = StrCopy(names, size, "\n");
    bool listed = ForEachEntry(root, "QVT*", [&](const WIN32_FIND_DATAA& found) {
        char line[kPath + 2];
        fits = fits && Join(line, sizeof line, "\n", found.cFileName, "\n") &&
               (strstr(before, line) != nullptr || StrAppend(names, size, line + 1));
        return fits;
    });
    return fits && (listed || GetLastError() == ERROR_FILE_NOT_FOUND);
}

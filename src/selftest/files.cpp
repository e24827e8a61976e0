#include "selftest/files.h"

#include "common/strbuf.h"

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

long FileSize(const char* path) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(path, &found);
    if (h == INVALID_HANDLE_VALUE) return -1;
    FindClose(h);
    return static_cast<long>(found.nFileSizeLow);
}

bool RemoveTree(const char* path) {
    DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES) return true;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        (void)SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path) != 0;
    }
    // A junction goes as a name: what it leads to is not ours.
    if ((a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return RemoveDirectoryA(path) != 0;
    char pattern[kPath];
    bool ok = Join(pattern, sizeof pattern, path, "\\*");
    WIN32_FIND_DATAA found;
    HANDLE h = ok ? FindFirstFileA(pattern, &found) : INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
            char child[kPath];
            ok = Join(child, sizeof child, path, "\\", found.cFileName) && RemoveTree(child) && ok;
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    return RemoveDirectoryA(path) != 0 && ok;
}

void ListQvt(const char* root, QvtList* list) {
    list->count = 0;
    list->complete = false;
    char pattern[kPath];
    if (!Join(pattern, sizeof pattern, root, "QVT*")) return;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern, &found);
    if (h == INVALID_HANDLE_VALUE) {
        list->complete = GetLastError() == ERROR_FILE_NOT_FOUND;
        return;
    }
    list->complete = true;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
        if (list->count == kQvtNames || !StrCopy(list->names + list->count * kQvtName, kQvtName, found.cFileName)) {
            list->complete = false;
            break;
        }
        ++list->count;
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

size_t NewQvt(const QvtList& before, const QvtList& after, const char** added) {
    size_t n = 0;
    for (size_t i = 0; i < after.count; ++i) {
        const char* name = after.names + i * kQvtName;
        bool old = false;
        for (size_t j = 0; j < before.count && !old; ++j) old = _stricmp(name, before.names + j * kQvtName) == 0;
        if (!old && n < kMaxNew) added[n++] = name;
    }
    return n;
}

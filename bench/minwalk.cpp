// minwalk.exe [/a] SOURCE DEST: the least a copy through the same calls as
// vorpkg's tree copy can do: FindFirstFileA/FindNextFileA, CreateDirectoryA,
// CopyFileA, depth first. No path checks beyond MAX_PATH, no messages.
// With /a it also resets each copy's attributes with SetFileAttributesA, as
// vorpkg must. DEST must exist. Prints the number of files copied; exit 1 at
// the first failure. Benchmark only: not part of the program or its tests.
#include <windows.h>

#include <stdio.h>
#include <string.h>

static bool g_resetAttributes = false;
static unsigned long g_files = 0;

// dst ends in a backslash; src may or may not.
static bool Walk(const char* src, const char* dst) {
    char base[MAX_PATH];
    size_t n = strlen(src);
    if (n + 4 >= MAX_PATH) return false;
    memcpy(base, src, n + 1);
    if (n == 0 || base[n - 1] != '\\') base[n++] = '\\';
    base[n] = '\0';

    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s*.*", base);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        const char* name = fd.cFileName;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
        char from[MAX_PATH];
        char to[MAX_PATH];
        bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (snprintf(from, sizeof from, "%s%s", base, name) >= MAX_PATH ||
            snprintf(to, sizeof to, "%s%s%s", dst, name, isDir ? "\\" : "") >= MAX_PATH) {
            ok = false;
        } else if (isDir) {
            ok = CreateDirectoryA(to, NULL) && Walk(from, to);
        } else {
            ok = CopyFileA(from, to, FALSE) != 0;
            if (ok && g_resetAttributes) SetFileAttributesA(to, FILE_ATTRIBUTE_NORMAL);
            ++g_files;
        }
    } while (ok && FindNextFileA(h, &fd));
    FindClose(h);
    return ok;
}

int main(int argc, char** argv) {
    int i = 1;
    if (i < argc && strcmp(argv[i], "/a") == 0) {
        g_resetAttributes = true;
        ++i;
    }
    if (argc - i != 2) {
        fprintf(stderr, "usage: minwalk.exe [/a] SOURCE DEST\\\n");
        return 2;
    }
    char dst[MAX_PATH];
    size_t n = strlen(argv[i + 1]);
    if (n + 2 >= MAX_PATH) return 1;
    memcpy(dst, argv[i + 1], n + 1);
    if (n == 0 || dst[n - 1] != '\\') strcat(dst, "\\");
    bool ok = Walk(argv[i], dst);
    printf("%lu files\n", g_files);
    return ok ? 0 : 1;
}

#include "treefs.h"

#include "winfs.h"

#include <windows.h>

#include <gtest/gtest.h>

void MakeTree(const std::string& root, const std::vector<std::string>& entries) {
    for (const std::string& e : entries) {
        if (e.back() == '\\')
            MakeDirs(root + "\\" + e.substr(0, e.size() - 1));
        else
            WriteFileBytes(root + "\\" + e, e);
    }
}

std::vector<std::string> TreeWithContents(const std::string& root) {
    std::vector<std::string> out;
    for (const std::string& e : ListTree(root))
        out.push_back(e.back() == '\\' ? e : e + "=" + ReadFileBytes(root + "\\" + e));
    return out;
}

static std::string Long(const std::string& path) { return "\\\\?\\" + path; }

// Wide calls on \\?\ paths: neither the 260-character limit of the ANSI calls
// nor the stripping of trailing dots gets in the way of clearing up.
static void RemoveBelow(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring p = dir + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveBelow(p);
            RemoveDirectoryW(p.c_str());
        } else {
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(p.c_str());
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

void EmptyDir(const std::string& dir) {
    std::string d = Long(dir.back() == '\\' ? dir.substr(0, dir.size() - 1) : dir);
    RemoveBelow(std::wstring(d.begin(), d.end()));  // test paths are plain ASCII
}

void MakeDotsFile(const std::string& dir) {
    HANDLE h = CreateFileA(Long(dir + "\\...").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot make " << dir << "\\...";
    CloseHandle(h);
}

std::vector<std::string> StagingAreas() {
    std::vector<std::string> out;
    for (const std::string& n : ListDir("C:"))
        if (n.rfind("QVT", 0) == 0 && DirExists("C:\\" + n)) out.push_back(n);
    return out;
}


namespace {

FsLog g_log;
decltype(OsCalls::FindFirstFileA) g_realFirst;
decltype(OsCalls::FindClose) g_realClose;
decltype(OsCalls::CopyFileA) g_realCopy;
decltype(OsCalls::CreateDirectoryA) g_realMkdir;

HANDLE WINAPI RecFindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    g_log.patterns.push_back(pattern);
    HANDLE h = g_realFirst(pattern, data);
    if (h != INVALID_HANDLE_VALUE) ++g_log.listingsOpen;
    return h;
}

BOOL WINAPI RecFindClose(HANDLE h) {
    --g_log.listingsOpen;
    return g_realClose(h);
}

BOOL WINAPI RecCopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    std::string src = from;
    g_log.copies.push_back(src + ">" + to);
    const std::string& bad = g_log.failCopyOf;
    if (!bad.empty() && src.size() >= bad.size() && src.compare(src.size() - bad.size(), bad.size(), bad) == 0)
        return FALSE;
    return g_realCopy(from, to, failIfExists);
}

BOOL WINAPI RecCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    g_log.madeDirs.push_back(path);
    return g_realMkdir(path, sa);
}

}  // namespace

FsRecorder::FsRecorder()
    : log(g_log),
      first_(&OsCalls::FindFirstFileA, RecFindFirstFileA),
      close_(&OsCalls::FindClose, RecFindClose),
      copy_(&OsCalls::CopyFileA, RecCopyFileA),
      mkdir_(&OsCalls::CreateDirectoryA, RecCreateDirectoryA) {
    g_log = FsLog();
    g_realFirst = first_.saved();
    g_realClose = close_.saved();
    g_realCopy = copy_.saved();
    g_realMkdir = mkdir_.saved();
}

FsRecorder::~FsRecorder() {
    // A listing left open is a leak on the path that just ran.
    EXPECT_EQ(g_log.listingsOpen, 0) << "FindFirstFileA and FindClose out of balance";
}

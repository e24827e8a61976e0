#include "winfs.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

std::string TestTag() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string tag = info ? std::string(info->test_suite_name()) + "." + info->name() : "free";
    for (char& c : tag)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
    return tag;
}

}  // namespace

TempDir::TempDir(const std::string& tag) {
    static int serial = 0;
    std::string base = "C:\\vorpkg-tests";
    CreateDirectoryA(base.c_str(), nullptr);
    path_ = base + "\\" + TestTag() + (tag.empty() ? "" : "-" + tag) + "-" +
            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
    RemoveTree(path_);
    MakeDirs(path_);
}

TempDir::~TempDir() {
    if (!keep_) RemoveTree(path_);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << "cannot write " << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string ReadFileBytes(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeDirs(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..") names.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

static void ListTreeInto(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
    std::string dir = rel.empty() ? root : root + "\\" + rel;
    for (const std::string& n : ListDir(dir)) {
        std::string r = rel.empty() ? n : rel + "\\" + n;
        if (DirExists(dir + "\\" + n)) {
            out.push_back(r + "\\");
            ListTreeInto(root, r, out);
        } else {
            out.push_back(r);
        }
    }
}

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> out;
    ListTreeInto(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

void RemoveTree(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) {  // the link only, never what it leads to
        OnHost("rm -f '" + WinToHost(path) + "'");
        return;
    }
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    for (const std::string& n : ListDir(path)) RemoveTree(path + "\\" + n);
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> v;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        v.push_back(line);
        start = nl + 1;
    }
    return v;
}

std::string HostToWin(const std::string& hostPath) {
    std::string w = "Z:" + hostPath;
    std::replace(w.begin(), w.end(), '/', '\\');
    return w;
}

std::string WinToHost(const std::string& winPath) {
    typedef char*(CDECL * ToUnix)(LPCWSTR);
    static ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide(winPath.begin(), winPath.end());
    char* unix = toUnix ? toUnix(wide.c_str()) : nullptr;
    EXPECT_NE(unix, nullptr) << winPath;
    if (!unix) return "/nonexistent";
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

void OnHost(const std::string& command) {
    // Wine does not report a Unix program's end: it writes its status to a
    // file last, and that file is waited for. It is started by start.exe,
    // not by this process: the end of a Unix program that a Wine process
    // started itself may be taken for that process's own end, which then
    // stops there, exit code 0 and its buffered output lost.
    static int serial = 0;
    std::string done = "/tmp/vorpkg-onhost-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
    std::string line = "start.exe /unix /bin/sh -c \"" + command + "; echo $? >" + done + ".tmp; mv " + done + ".tmp " +
                       done + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << command;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string status = "<missing>";
    for (int waited = 0; waited < 2000 && status == "<missing>"; ++waited) {
        Sleep(10);
        status = ReadFileBytes(HostToWin(done));
    }
    DeleteFileA(HostToWin(done).c_str());
    EXPECT_EQ(status, "0\n") << command;
}

// VORPKG_BIN_DIR (a host path) runs the suite against another build folder,
// such as the 32-bit one, with that folder's own CD folder.
std::string BinDir() {
    const char* dir = getenv("VORPKG_BIN_DIR");
    return HostToWin(dir && *dir ? dir : VORPKG_BIN_DIR);
}
std::string CdDir() {
    const char* dir = getenv("VORPKG_BIN_DIR");
    return dir && *dir ? HostToWin(std::string(dir) + "/cd") : HostToWin(VORPKG_CD_DIR);
}

// Real files and folders for tests, through plain Win32 calls.
#ifndef VORPKG_TESTS_WINFS_H
#define VORPKG_TESTS_WINFS_H

#include <string>
#include <vector>

// A fresh empty folder (Windows path, no trailing backslash) below
// C:\vorpkg-tests, named after the running test. Removed when it goes away
// unless keep() was called.
class TempDir {
public:
    explicit TempDir(const std::string& tag = "");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    void keep() { keep_ = true; }

private:
    std::string path_;
    bool keep_ = false;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
void MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);
// Names in a folder, "." and ".." left out, in listing order.
std::vector<std::string> ListDir(const std::string& path);
// Every path below root, relative to it, folders with a trailing backslash.
std::vector<std::string> ListTree(const std::string& root);

// Text split at line feeds, a carriage return before one dropped.
std::vector<std::string> Lines(const std::string& text);

// Windows path of a host (Linux) path, through drive Z:.
std::string HostToWin(const std::string& hostPath);
// The host path a Windows path leads to.
std::string WinToHost(const std::string& winPath);
// Runs a shell command on the host and waits for it: Wine starts Unix
// programs too. For what no Windows call makes under Wine: links (read as
// junctions), modes (what others are granted) and other owners.
void OnHost(const std::string& command);
// The folder holding vorpkg.exe and mervane.exe (the build folder, or
// VORPKG_BIN_DIR) and the folder that plays the update CD (drive E:).
std::string BinDir();
std::string CdDir();

#endif

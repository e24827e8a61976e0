#include "package.h"

#include "winfs.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

void EmptyFolder(const std::string& dir) {
    for (const std::string& n : ListDir(dir)) RemoveTree(dir + "\\" + n);
}

}  // namespace

std::string MervaneExe() { return BinDir() + "\\mervane.exe"; }

void MakePackage(const std::string& dir, const std::string& scenario) {
    MakeDirs(dir);
    EmptyFolder(dir);
    ASSERT_TRUE(ListDir(dir).empty()) << "cannot empty " << dir;
    ASSERT_TRUE(CopyFileA(MervaneExe().c_str(), (dir + "\\mervane.exe").c_str(), FALSE))
        << "cannot copy the stand-in into " << dir << ": error " << GetLastError();
    WriteFileBytes(dir + "\\zorvad.sys", "zorvad driver image\r\n");
    WriteFileBytes(dir + "\\zorvad.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    WriteFileBytes(dir + "\\version.id", "Sample Driver Update\r\n2.04.11\r\n");
    if (!scenario.empty()) WriteFileBytes(dir + "\\mervane.scenario", scenario);
}

std::vector<std::string> ReadTrace(const std::string& dir) {
    std::string text = ReadFileBytes(dir + "\\mervane.trace");
    std::vector<std::string> lines;
    if (text == "<missing>") return lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

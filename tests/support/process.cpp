#include "process.h"

#include "winfs.h"

#include <windows.h>

#include <cstring>
#include <map>

#include <gtest/gtest.h>

std::vector<std::string> RunResult::lines() const { return Lines(out); }

std::string VorpkgExe() { return BinDir() + "\\vorpkg.exe"; }

void SetWineVersionFor(const std::string& exeName, const std::string& winver) {
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    if (winver.empty()) {
        RegDeleteValueA(h, "Version");
    } else {
        RegSetValueExA(h, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(winver.c_str()),
                       static_cast<DWORD>(winver.size() + 1));
    }
    RegCloseKey(h);
}

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
}

// The current environment with the opts's changes, as a block for CreateProcessA.
std::string EnvironmentBlock(const RunOptions& opts) {
    std::map<std::string, std::string> vars;  // upper-case name -> "Name=value"
    char* block = GetEnvironmentStringsA();
    for (char* p = block; *p; p += strlen(p) + 1) {
        std::string entry = p;
        size_t eq = entry.find('=', 1);
        if (eq == std::string::npos) continue;
        vars[Upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsA(block);
    for (const std::string& name : opts.unsetEnv) vars.erase(Upper(name));
    for (const auto& kv : opts.env) {
        vars.erase(Upper(kv.first));
        vars[Upper(kv.first)] = kv.first + "=" + kv.second;
    }
    std::string out;
    for (const auto& kv : vars) out += kv.second + '\0';
    out += '\0';
    return out;
}

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t") == std::string::npos) return arg;
    return "\"" + arg + "\"";
}

}  // namespace

RunResult RunVorpkg(const RunOptions& opts) {
    RunResult result;
    std::string program = opts.program.empty() ? VorpkgExe() : opts.program;
    std::string exeName = program.substr(program.find_last_of('\\') + 1);
    SetWineVersionFor(exeName, opts.winver);

    std::string cmdline = Quote(program);
    for (const std::string& a : opts.args) cmdline += " " + Quote(a);
    std::vector<char> cmd(cmdline.begin(), cmdline.end());
    cmd.push_back('\0');
    std::string env = EnvironmentBlock(opts);

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &sa, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi;
    BOOL ok = CreateProcessA(program.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, &env[0],
                             opts.startDir.empty() ? nullptr : opts.startDir.c_str(), &si, &pi);
    CloseHandle(writeEnd);
    CloseHandle(nul);
    if (!ok) {
        ADD_FAILURE() << "cannot start " << cmdline << ": error " << GetLastError();
        CloseHandle(readEnd);
        return result;
    }
    char buf[4096];
    DWORD got;
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) result.out.append(buf, got);
    CloseHandle(readEnd);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    std::string clean;
    for (char c : result.out)
        if (c != '\r') clean += c;
    result.out = clean;
    return result;
}

#include "update/cmdline.h"

#include "common/strbuf.h"

#include <string.h>

const char kToolName[] = "mervane.exe";
const char kToolLogName[] = "VOR.LOG";
const char kDriverFile[] = "zorvad.sys";
const char kSetupFile[] = "zorvad.inf";
const char kFirstRunOption[] = " /oisafe12";
const char kReRunOption[] = " /oinowdp";

namespace {

// Characters that cmd splits on or acts on even inside the quoted /c string.
bool Unsafe(unsigned char c) {
    if (c < 0x20 || c == 0x7F || c == ' ') return true;
    return strchr("\"&|<>^%", c) != nullptr;
}

bool InWorkDir(char* buf, size_t size, const char* dir, const char* name) {
    const char* parts[] = {dir, name};
    return StrJoin(buf, size, parts, sizeof parts / sizeof parts[0]);
}

}  // namespace

WorkDirCheck CheckWorkDir(const char* dir, LeadByteTest isLeadByte) {
    size_t n = strlen(dir);
    if (n > kMaxWorkDirLength) return kWorkDirTooLong;
    if (dir[0] == '\\' && dir[1] == '\\') return kWorkDirNetwork;
    for (size_t i = 0; i < n; i += CharBytes(dir + i, isLeadByte))
        if (Unsafe(static_cast<unsigned char>(dir[i]))) return kWorkDirUnsafe;
    return kWorkDirOk;
}

bool ComposeBaseLine(char* buf, size_t size, const char* dir, const char* file) {
    const char* parts[] = {kToolName, " /l ", dir, kToolLogName, " /s /noreboot /i ", dir, file};
    return StrJoin(buf, size, parts, sizeof parts / sizeof parts[0]);
}

bool ComposeRunLine(char* buf, size_t size, const char* base, const char* file, const char* option) {
    const char* parts[] = {base, file, option};
    return StrJoin(buf, size, parts, sizeof parts / sizeof parts[0]);
}

bool ComposeToolLogPath(char* buf, size_t size, const char* dir) { return InWorkDir(buf, size, dir, kToolLogName); }

bool ComposeToolPath(char* buf, size_t size, const char* dir) { return InWorkDir(buf, size, dir, kToolName); }

bool ComposeInterpreterLine(char* buf, size_t size, const char* command) {
    const char* parts[] = {"cmd /d /c \"", command, "\""};
    return StrJoin(buf, size, parts, sizeof parts / sizeof parts[0]);
}

// The work-directory check and the command lines composed from it. An
// accepted directory has at most 94 characters and none that cmd would act
// on; for it every line fits its buffer and is exactly the concatenation of
// its parts. Any composer, in a buffer of any size, gives the whole text or
// an empty buffer, and never writes past it.
#include "check.h"
#include "update/cmdline.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const size_t kLineSize = 261;         // the procedures' command and base buffers
const size_t kLogPathSize = 256;      // the tool log path, the utility's path
const size_t kInterpreterSize = 260;  // the runner's line

bool Refused(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == ' ' || c == '"' || c == '&' || c == '|' || c == '<' || c == '>' ||
           c == '^' || c == '%';
}

// text composed into a heap buffer of exactly size characters.
struct Composed {
    bool ok;
    std::string text;
};

template <typename Compose>
Composed Into(size_t size, Compose compose) {
    char* buf = static_cast<char*>(malloc(size ? size : 1));
    memset(buf, 'x', size ? size : 1);
    Composed c;
    c.ok = compose(buf, size);
    if (size > 0) CHECK(memchr(buf, '\0', size) != nullptr);
    c.text = c.ok ? buf : "";
    if (!c.ok && size > 0) CHECK(buf[0] == '\0');
    free(buf);
    return c;
}

void Expect(const Composed& c, size_t size, const std::string& expected) {
    CHECK(c.ok == (expected.size() < size));
    if (c.ok) CHECK(c.text == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    size_t room = in.ConsumeIntegralInRange<size_t>(0, 300);
    std::string dir = in.ConsumeRandomLengthString(200);
    dir = dir.substr(0, dir.find('\0'));
    std::string command = in.ConsumeRandomLengthString(300);
    command = command.substr(0, command.find('\0'));

    bool unsafe = false;
    for (unsigned char c : dir) unsafe = unsafe || Refused(c);
    WorkDirCheck check = CheckWorkDir(dir.c_str(), nullptr);
    bool network = dir.size() >= 2 && dir[0] == '\\' && dir[1] == '\\';
    if (dir.size() > kMaxWorkDirLength) CHECK(check == kWorkDirTooLong);
    else if (network) CHECK(check == kWorkDirNetwork);
    else CHECK(check == (unsafe ? kWorkDirUnsafe : kWorkDirOk));

    const char* d = dir.c_str();
    const std::string base = "mervane.exe /l " + dir + "VOR.LOG /s /noreboot /i " + dir;
    if (check == kWorkDirOk) {
        // What the procedures compose for an accepted directory: all fits.
        Composed ntBase = Into(kLineSize, [&](char* b, size_t n) { return ComposeBaseLine(b, n, d, kDriverFile); });
        Composed w2kBase = Into(kLineSize, [&](char* b, size_t n) { return ComposeBaseLine(b, n, d, ""); });
        CHECK(ntBase.ok && ntBase.text == base + "zorvad.sys");
        CHECK(w2kBase.ok && w2kBase.text == base);
        const std::string lines[] = {base + "zorvad.sys /oisafe12", base + "zorvad.sys /oinowdp",
                                     base + "zorvad.inf /oisafe12"};
        Composed composed[] = {
            Into(kLineSize, [&](char* b, size_t n) { return ComposeRunLine(b, n, ntBase.text.c_str(), "", kFirstRunOption); }),
            Into(kLineSize, [&](char* b, size_t n) { return ComposeRunLine(b, n, w2kBase.text.c_str(), kDriverFile, kReRunOption); }),
            Into(kLineSize, [&](char* b, size_t n) { return ComposeRunLine(b, n, w2kBase.text.c_str(), kSetupFile, kFirstRunOption); }),
        };
        for (size_t i = 0; i < 3; ++i) {
            CHECK(composed[i].ok && composed[i].text == lines[i]);
            CHECK(lines[i].size() <= 247);
            Composed run = Into(kInterpreterSize, [&](char* b, size_t n) {
                return ComposeInterpreterLine(b, n, composed[i].text.c_str());
            });
            CHECK(run.ok && run.text == "cmd /d /c \"" + lines[i] + "\"");
        }
        Composed log = Into(kLogPathSize, [&](char* b, size_t n) { return ComposeToolLogPath(b, n, d); });
        CHECK(log.ok && log.text == dir + "VOR.LOG");
        Composed tool = Into(kLogPathSize, [&](char* b, size_t n) { return ComposeToolPath(b, n, d); });
        CHECK(tool.ok && tool.text == dir + "mervane.exe");
    }

    // Any directory and command, any buffer size: all or nothing.
    Expect(Into(room, [&](char* b, size_t n) { return ComposeBaseLine(b, n, d, kDriverFile); }), room,
           base + "zorvad.sys");
    Expect(Into(room, [&](char* b, size_t n) { return ComposeRunLine(b, n, d, kSetupFile, kReRunOption); }), room,
           dir + "zorvad.inf /oinowdp");
    Expect(Into(room, [&](char* b, size_t n) { return ComposeToolLogPath(b, n, d); }), room, dir + "VOR.LOG");
    Expect(Into(room, [&](char* b, size_t n) { return ComposeToolPath(b, n, d); }), room, dir + "mervane.exe");
    Expect(Into(room, [&](char* b, size_t n) { return ComposeInterpreterLine(b, n, command.c_str()); }), room,
           "cmd /d /c \"" + command + "\"");
    // The runner's own buffer takes a command of at most 247 characters.
    Composed run = Into(kInterpreterSize, [&](char* b, size_t n) { return ComposeInterpreterLine(b, n, command.c_str()); });
    CHECK(run.ok == (command.size() <= 247));
    return 0;
}

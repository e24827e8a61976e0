// The bounded string helpers and every path former built on them, in
// buffers of any size: each result either fits whole (and is exactly the
// concatenation) or is refused, and nothing is ever written past the buffer.
#include "check.h"
#include "common/strbuf.h"
#include "resultlog/recordline.h"
#include "staging/stagepath.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

// A buffer of exactly size characters on the heap, so that AddressSanitizer
// sees the first byte past it.
struct Buffer {
    explicit Buffer(size_t n) : size(n), data(static_cast<char*>(malloc(n ? n : 1))) { memset(data, 'x', size); }
    ~Buffer() { free(data); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    size_t size;
    char* data;
};

std::string Text(FuzzedDataProvider& in, size_t most) {
    std::string s = in.ConsumeRandomLengthString(most);
    return s.substr(0, s.find('\0'));
}

// A fitting result is the expected text; a refused one leaves the buffer
// terminated (empty for the formers that say so).
void Expect(bool ok, const Buffer& buf, const std::string& expected) {
    CHECK(ok == (expected.size() < buf.size));
    if (ok) CHECK(buf.data == expected);
    else if (buf.size > 0) CHECK(memchr(buf.data, '\0', buf.size) != nullptr);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    size_t room = in.ConsumeIntegralInRange<size_t>(0, 300);
    std::string a = Text(in, 300);
    std::string b = Text(in, 300);
    std::string c = Text(in, 8);

    {
        Buffer buf(room);
        Expect(StrCopy(buf.data, buf.size, a.c_str()), buf, a);
    }
    {
        // Appending to what is already there (a refused copy leaves it empty).
        Buffer buf(room);
        bool started = StrCopy(buf.data, buf.size, a.c_str());
        Expect(StrAppend(buf.data, buf.size, b.c_str()), buf, started ? a + b : b);
    }
    {
        // A buffer with no terminator in it: refused, and not read past.
        Buffer buf(room);
        CHECK(!StrAppend(buf.data, buf.size, b.c_str()));
    }
    {
        Buffer buf(room);
        bool ok = JoinPath(buf.data, buf.size, a.c_str(), b.c_str(), c.c_str());
        Expect(ok, buf, a + b + c);
    }
    {
        Buffer buf(room);
        std::string joined = a + b;
        std::string form = (b.empty() && !joined.empty() && joined.back() == '\\') ? joined : joined + "\\";
        Expect(SourceForm(buf.data, buf.size, a.c_str(), b.c_str(), nullptr), buf, form);
    }
    {
        Buffer buf(room);
        bool ok = LogDirPath(buf.data, buf.size, a.c_str());
        std::string dir = a + "\\QVLOG";
        // Room is kept for "\QV.log" behind it.
        CHECK(ok == (!a.empty() && dir.size() + strlen(kLogFileName) < room));
        if (ok) {
            CHECK(buf.data == dir);
            CHECK(StrAppend(buf.data, buf.size, kLogFileName));
        } else if (room > 0) {
            CHECK(buf.data[0] == '\0');
        }
    }

    bool same = a.size() == b.size();
    for (size_t i = 0; same && i < a.size(); ++i) same = Lower(a[i]) == Lower(b[i]);
    CHECK(SamePathIgnoringCase(a.c_str(), b.c_str()) == same);
    CHECK(IsDotOrDotDot(a.c_str()) == (a == "." || a == ".."));

    uint32_t spc = in.ConsumeIntegral<uint32_t>();
    uint32_t bps = in.ConsumeIntegral<uint32_t>();
    uint32_t free = in.ConsumeIntegral<uint32_t>();
    unsigned __int128 bytes = static_cast<unsigned __int128>(spc) * bps * free;
    CHECK(EnoughFreeSpace(spc, bps, free) == (bytes >= kMinFreeBytes));
    return 0;
}

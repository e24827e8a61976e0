// Record formatting: stamps from any clock values, values as version.id
// yields them, any result code. The line must always match the field table
// and fit its 512-character buffer; a stamp never exceeds 17 characters.
#include "check.h"
#include "resultlog/recordline.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

// The longest line: two 17-character stamps, two 127-character values and
// "-2147483648", with the fixed keys around them.
const size_t kLongestLine = 17 + 1 + 17 + 8 + 127 + 5 + 127 + 8 + 7 + 12 + 11 + 1 + 1;

// Digits only, at least two, no leading zero unless exactly two: what
// "%02d" makes of an unsigned 16-bit value; parsed back into value.
bool StampNumber(const std::string& text, unsigned* value) {
    if (text.size() < 2 || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    if (text.size() > 2 && text[0] == '0') return false;
    *value = static_cast<unsigned>(atoi(text.c_str()));
    return true;
}

std::string Stamp(uint16_t a, uint16_t b, uint16_t c, bool date) {
    // Only the room the longest stamp needs, of the 128 the caller has:
    // AddressSanitizer stops any write past it.
    const size_t room = 17 + 1;
    char* out = static_cast<char*>(malloc(room));
    memset(out, 'x', room);
    CHECK(FormatStamp(a, b, c, date, out) == out);
    size_t len = strlen(out);
    CHECK(len >= 8 && len <= 17);
    std::string text(out, len);
    free(out);

    const char sep = date ? '-' : ':';
    size_t p1 = text.find(sep);
    size_t p2 = text.find(sep, p1 + 1);
    CHECK(p1 != std::string::npos && p2 != std::string::npos);
    CHECK(text.find(sep, p2 + 1) == std::string::npos);
    unsigned v1 = 0, v2 = 0, v3 = 0;
    CHECK(StampNumber(text.substr(0, p1), &v1));
    CHECK(StampNumber(text.substr(p1 + 1, p2 - p1 - 1), &v2));
    CHECK(StampNumber(text.substr(p2 + 1), &v3));
    CHECK(v1 == a && v2 == b && v3 == c);
    return text;
}

// A value the way version.id gives it: one read of at most 127 characters.
std::string Value(FuzzedDataProvider& in, char* read) {
    std::string bytes = in.ConsumeRandomLengthString(kVersionLineSize - 1);
    memset(read, 0, kVersionLineSize);
    memcpy(read, bytes.data(), bytes.size());
    std::string value = VersionValue(read);
    CHECK(value.size() <= kVersionLineSize - 1);
    CHECK(value.find('\n') == std::string::npos);
    return value;
}

// Signed decimal: an optional minus, no leading zeros, no plus sign.
void CheckCode(const std::string& text, int code) {
    size_t digits = text[0] == '-' ? 1 : 0;
    CHECK(text.size() > digits && text.size() <= 11);
    for (size_t i = digits; i < text.size(); ++i) CHECK(text[i] >= '0' && text[i] <= '9');
    CHECK(text[digits] != '0' || text.size() == digits + 1);
    CHECK(text != "-0");
    CHECK(strtoll(text.c_str(), nullptr, 10) == code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    uint16_t clock[6];
    for (uint16_t& v : clock) v = in.ConsumeIntegral<uint16_t>();
    int code = in.ConsumeIntegral<int>();
    size_t room = in.ConsumeIntegralInRange<size_t>(0, kRecordLineSize);
    char first[kVersionLineSize];
    char second[kVersionLineSize];
    std::string update = Value(in, first);
    std::string newValue = Value(in, second);

    std::string time = Stamp(clock[0], clock[1], clock[2], false);
    std::string date = Stamp(clock[3], clock[4], clock[5], true);

    // The field table, in order, nothing between the fields.
    std::string expected = date + " " + time + ",Update=" + update + ",New=" + newValue + ",Status=" +
                           (code == 0 ? "Success" : "Unknown") + ",ReturnCode=" + std::to_string(code) + " \n";
    CheckCode(std::to_string(code), code);
    CHECK(expected.size() <= kLongestLine);

    // The record's own buffer: always fits.
    char* line = static_cast<char*>(malloc(kRecordLineSize));
    CHECK(ComposeRecordLine(line, kRecordLineSize, date.c_str(), time.c_str(), update.c_str(), newValue.c_str(),
                            code));
    CHECK(line == expected);
    free(line);

    // Any smaller buffer: the whole line or nothing, never a byte past it.
    char* small = static_cast<char*>(malloc(room == 0 ? 1 : room));
    bool fits = ComposeRecordLine(small, room, date.c_str(), time.c_str(), update.c_str(), newValue.c_str(), code);
    CHECK(fits == (expected.size() < room));
    if (fits) CHECK(small == expected);
    else if (room > 0) CHECK(small[0] == '\0');
    free(small);
    return 0;
}

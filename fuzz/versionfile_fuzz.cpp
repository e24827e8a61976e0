// The version-file reader on any bytes: the two fgets reads of 128 and the
// values cut from them. Never more than 127 characters a value, never a
// crash, and each value is what a plain reading of the bytes gives.
#include "check.h"
#include "resultlog/recordline.h"
#include "resultlog/versionfile.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

// One fgets of 128 from pos: up to and with the first line feed, at most
// 127 bytes. The value is that read up to its first zero byte or line feed.
std::string ReferenceValue(const std::string& bytes, size_t* pos) {
    size_t start = *pos;
    size_t end = start;
    while (end < bytes.size() && end - start < kVersionLineSize - 1) {
        if (bytes[end++] == '\n') break;
    }
    *pos = end;
    std::string read = bytes.substr(start, end - start);
    return read.substr(0, read.find_first_of(std::string("\n\0", 2)));
}

// What strtok(read, "\n") would give, as the record's first token.
std::string StrtokValue(const char* read) {
    char copy[kVersionLineSize];
    memcpy(copy, read, kVersionLineSize);
    const char* token = strtok(copy, "\n");
    return token ? token : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // The file, with no text-mode translation: a CR stays part of a value.
    FILE* f = size ? fmemopen(const_cast<char*>(bytes.data()), size, "r") : fopen("/dev/null", "r");
    CHECK(f != nullptr);
    char* first = static_cast<char*>(malloc(kVersionLineSize));
    char* second = static_cast<char*>(malloc(kVersionLineSize));
    const char* update = nullptr;
    const char* newValue = nullptr;
    ReadVersionValues(f, first, second, &update, &newValue);
    fclose(f);

    CHECK(update >= first && update < first + kVersionLineSize);
    CHECK(newValue >= second && newValue < second + kVersionLineSize);
    CHECK(strlen(update) <= kVersionLineSize - 1);
    CHECK(strlen(newValue) <= kVersionLineSize - 1);
    CHECK(strchr(update, '\n') == nullptr && strchr(newValue, '\n') == nullptr);

    size_t pos = 0;
    std::string refUpdate = ReferenceValue(bytes, &pos);
    std::string refNew = ReferenceValue(bytes, &pos);
    CHECK(update == refUpdate);
    CHECK(newValue == refNew);

    // VersionValue alone against strtok, on a raw read of any bytes.
    char raw[kVersionLineSize];
    memset(raw, 0, sizeof raw);
    memcpy(raw, data, size < kVersionLineSize - 1 ? size : kVersionLineSize - 1);
    std::string viaStrtok = StrtokValue(raw);
    CHECK(VersionValue(raw) == viaStrtok);

    free(first);
    free(second);
    return 0;
}

// The work-directory check under code page 932: the second byte of a
// character is part of it, even when it is '^' or '|'.
#include "update/cmdline.h"

#include <gtest/gtest.h>

namespace {

bool Cp932Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

TEST(DoubleByteNames, TrailBytesAreNotChecked) {
    struct Row {
        const char* dir;
        bool dbcs;  // with the code-page 932 lead-byte test; else none
        WorkDirCheck expected;
    };
    const Row rows[] = {
        {"C:\\\x83\x66\x81\x5B\x83\x5E\\", true, kWorkDirOk},   // C:\データ\ (タ ends in ^)
        {"C:\\\x83\x7C\\", true, kWorkDirOk},                  // ポ ends in |
        {"C:\\\x83\x5E\\", false, kWorkDirUnsafe},             // a single-byte code page
        {"C:\\\x83\x5E^\\", true, kWorkDirUnsafe},             // a real ^ after a pair
        {"C:\\\x83\"\\", true, kWorkDirUnsafe},                // no trail byte: checked itself
        {"C:\\\x83 \\", true, kWorkDirUnsafe},
        {"C:\\x\x83", true, kWorkDirOk},                       // a lead byte at the end
    };
    for (const Row& r : rows) EXPECT_EQ(CheckWorkDir(r.dir, r.dbcs ? Cp932Lead : nullptr), r.expected) << r.dir;
}

}  // namespace

// The work-directory check with a double-byte code page: the second byte of
// a character is not a character of its own.
#include "update/cmdline.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Code page 932 (Shift-JIS) lead bytes.
bool Cp932Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct DbcsRow {
    const char* name;
    const char* dir;
    bool dbcs;  // with the code-page 932 lead-byte test; else none
    WorkDirCheck expected;
};

void PrintTo(const DbcsRow& r, std::ostream* os) { *os << r.name; }

const DbcsRow kRows[] = {
    {"data_trail_caret", "C:\\\x83\x66\x81\x5B\x83\x5E\\", true, kWorkDirOk},  // C:\データ\ (タ ends in ^)
    {"trail_bar", "C:\\\x83\x7C\\", true, kWorkDirOk},                         // ポ ends in |
    {"trail_backslash", "C:\\\x95\x5C\\", true, kWorkDirOk},                   // 表 ends in a backslash
    {"single_byte_code_page", "C:\\\x83\x5E\\", false, kWorkDirUnsafe},
    {"caret_after_a_pair", "C:\\\x83\x5E^\\", true, kWorkDirUnsafe},
    {"blank_after_a_pair", "C:\\\x83\x5E x\\", true, kWorkDirUnsafe},
    {"lead_then_quote_is_no_pair", "C:\\\x83\"\\", true, kWorkDirUnsafe},
    {"lead_then_blank_is_no_pair", "C:\\\x83 \\", true, kWorkDirUnsafe},
    {"lead_at_the_end", "C:\\x\x83", true, kWorkDirOk},
    {"half_width_katakana", "C:\\\xB1\xB2\\", true, kWorkDirOk},  // single bytes
};

class DoubleByteNames : public testing::TestWithParam<DbcsRow> {};

TEST_P(DoubleByteNames, TrailBytesAreNotChecked) {
    const DbcsRow& r = GetParam();
    EXPECT_EQ(CheckWorkDir(r.dir, r.dbcs ? Cp932Lead : nullptr), r.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DoubleByteNames, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<DbcsRow>& i) { return std::string(i.param.name); });

}  // namespace

// The bounded helpers every path and line of the program is built with:
// a text fits with its terminator or is refused, never written past.
#include "common/strbuf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Row {
    const char* name;
    size_t size;         // buffer size given
    std::string before;  // text already in the buffer (for StrAppend)
    std::string add;
    bool fits;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

const Row kRows[] = {
    {"empty_into_one", 1, "", "", true},
    {"fills_exactly", 8, "abc", "defg", true},
    {"one_past", 8, "abc", "defgh", false},
    {"empty_buffer_size", 0, "", "", false},
    {"nothing_to_add_to_full", 4, "abc", "", true},
    {"long_onto_empty", 260, "", std::string(259, 'p'), true},
    {"long_onto_empty_one_past", 260, "", std::string(260, 'p'), false},
};

class Append : public testing::TestWithParam<Row> {};

// The buffer sits between guard bytes that must stay untouched.
TEST_P(Append, FitsOrRefuses) {
    const Row& r = GetParam();
    std::string area(r.size + 2, '#');
    char* buf = &area[1];
    if (r.size > 0) memcpy(buf, r.before.c_str(), r.before.size() + 1);
    EXPECT_EQ(StrAppend(buf, r.size, r.add.c_str()), r.fits);
    if (r.size > 0) {
        EXPECT_EQ(std::string(buf), r.fits ? r.before + r.add : r.before) << "refused leaves it as it was";
    }
    EXPECT_EQ(area.front(), '#');
    EXPECT_EQ(area.back(), '#');

    std::string copyArea(r.size + 2, '#');
    char* copy = &copyArea[1];
    std::string whole = r.before + r.add;
    EXPECT_EQ(StrCopy(copy, r.size, whole.c_str()), r.fits);
    if (r.size > 0) {
        EXPECT_EQ(std::string(copy), r.fits ? whole : "") << "refused copy leaves it empty";
    }
    EXPECT_EQ(copyArea.front(), '#');
    EXPECT_EQ(copyArea.back(), '#');
}

INSTANTIATE_TEST_SUITE_P(Table, Append, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

// A buffer with no terminator in its size: nothing is read or written past it.
TEST(StrAppend, UnterminatedBufferIsRefused) {
    char area[6] = {'x', 'x', 'x', 'x', '\0', '#'};
    EXPECT_FALSE(StrAppend(area, 4, ""));
    EXPECT_FALSE(StrAppend(area, 4, "y"));
    EXPECT_EQ(std::string(area, 6), std::string("xxxx\0#", 6));
}

}  // namespace

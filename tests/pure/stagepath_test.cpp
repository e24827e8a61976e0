// Staging's pure pieces: the free-space gate's arithmetic, the source form,
// and which names are passed over.
#include "staging/stagepath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SpaceRow {
    const char* name;
    uint32_t spc, bps, free;
    bool enough;
};

void PrintTo(const SpaceRow& r, std::ostream* os) { *os << r.name; }

const SpaceRow kSpace[] = {
    {"exactly_2000000", 1, 1, 2000000, true},
    {"one_byte_short", 1, 1, 1999999, false},
    {"all_three_counts", 8, 500, 500, true},
    {"none_free", 8, 512, 0, false},
    {"two_counts_past_32_bits", 0xFFFFFFFF, 0xFFFFFFFF, 1, true},
    {"product_past_64_bits", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, true},
    {"product_exactly_2_pow_64", 0x80000000, 0x80000000, 4, true},  // 0 if it wrapped
};

class FreeSpace : public testing::TestWithParam<SpaceRow> {};

TEST_P(FreeSpace, Gate) {
    const SpaceRow& r = GetParam();
    EXPECT_EQ(EnoughFreeSpace(r.spc, r.bps, r.free), r.enough);
}

INSTANTIATE_TEST_SUITE_P(Table, FreeSpace, testing::ValuesIn(kSpace),
                         [](const testing::TestParamInfo<SpaceRow>& i) { return std::string(i.param.name); });

// The source form of a level fills a 260-character buffer exactly or is
// refused; a drive root gets no second backslash.
TEST(SourceForm, FitsOrRefuses) {
    char buf[260];
    ASSERT_TRUE(SourceForm(buf, sizeof buf, "E:\\", ""));
    EXPECT_STREQ(buf, "E:\\");
    ASSERT_TRUE(SourceForm(buf, sizeof buf, "E:\\pkg\\", "sub"));
    EXPECT_STREQ(buf, "E:\\pkg\\sub\\");

    std::string base = "C:\\" + std::string(253, 'b') + "\\";  // 257 characters
    EXPECT_TRUE(SourceForm(buf, sizeof buf, base.c_str(), "n"));  // 259 with the backslash
    EXPECT_EQ(std::string(buf), base + "n\\");
    EXPECT_FALSE(SourceForm(buf, sizeof buf, base.c_str(), "nn"));  // 260 with it
    std::string full = base + "nn\\";  // 260 characters that already end in a backslash
    EXPECT_TRUE(SourceForm(buf, sizeof buf, full.c_str() + 1, "")) << "259: no second backslash";
    EXPECT_FALSE(SourceForm(buf, sizeof buf, full.c_str(), ""));
}

TEST(JoinPath, FitsOrRefuses) {
    char buf[260];
    std::string base = "C:\\" + std::string(250, 'b') + "\\";  // 254 characters
    ASSERT_TRUE(JoinPath(buf, sizeof buf, base.c_str(), "name", "\\"));  // 259
    EXPECT_EQ(std::string(buf), base + "name\\");
    EXPECT_FALSE(JoinPath(buf, sizeof buf, base.c_str(), "name5", "\\"));  // 260
    EXPECT_FALSE(JoinPath(buf, sizeof buf, base.c_str(), "name", "\\\\"));
}

TEST(IsDotOrDotDot, OnlyTheTwoNames) {
    EXPECT_TRUE(IsDotOrDotDot("."));
    EXPECT_TRUE(IsDotOrDotDot(".."));
    for (const char* name : {"...", ".hidden", "..x", "x.", "", ". ", "a"}) EXPECT_FALSE(IsDotOrDotDot(name)) << name;
}

TEST(SamePathIgnoringCase, AsciiLettersOnly) {
    EXPECT_TRUE(SamePathIgnoringCase("C:\\QVT1A.tmp\\", "c:\\qvt1a.TMP\\"));
    EXPECT_FALSE(SamePathIgnoringCase("C:\\QVT1A.tmp\\", "C:\\QVT1A.tmp"));
    EXPECT_FALSE(SamePathIgnoringCase("C:\\a", "C:\\ab"));
    EXPECT_FALSE(SamePathIgnoringCase("C:\\[", "C:\\{")) << "only letters fold";
    EXPECT_TRUE(SamePathIgnoringCase("", ""));
}

}  // namespace

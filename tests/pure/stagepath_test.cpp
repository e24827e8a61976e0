// Staging's pure pieces: the free-space gate's arithmetic, the source form,
// and which names are passed over.
#include "staging/stagepath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The package's files in whole clusters, then the margin: sums saturate,
// and a saturated sum never fits.
TEST(PackageFit, LeavesTheMargin) {
    struct Row {
        uint64_t freeBytes, cluster, total;
        std::vector<uint64_t> files;
        bool room;
    };
    const Row rows[] = {
        {2000000, 4096, 0, {}, true},
        {2004096, 4096, 4096, {1}, true},
        {2004095, 4096, 4096, {1}, false},
        {2008192, 4096, 8192, {4096, 0, 4096}, true},
        {UINT64_MAX, 4096, UINT64_MAX, {UINT64_MAX - 1}, false},
        {UINT64_MAX, 1, UINT64_MAX, {UINT64_MAX / 2 + 1, UINT64_MAX / 2 + 1}, false},
    };
    for (const Row& r : rows) {
        uint64_t total = 0;
        for (uint64_t f : r.files) total = AddFileInClusters(total, f, r.cluster);
        EXPECT_EQ(total, r.total) << r.freeBytes;
        EXPECT_EQ(RoomForPackage(r.freeBytes, total), r.room) << r.freeBytes;
    }
}

TEST(IsDriveRoot, AnyCaseWithOrWithoutBackslash) {
    for (const char* dir : {"C:\\", "c:\\", "C:", "c:"}) EXPECT_TRUE(IsDriveRoot(dir, "C:\\")) << dir;
    for (const char* dir : {"D:\\", "C:\\WINNT", "C:\\\\", "C", ""}) EXPECT_FALSE(IsDriveRoot(dir, "C:\\")) << dir;
}

// The source form of a level fills a 260-character buffer exactly or is
// refused; a drive root gets no second backslash.
TEST(SourceForm, FitsOrRefuses) {
    char buf[260];
    ASSERT_TRUE(SourceForm(buf, sizeof buf, "E:\\", "", nullptr));
    EXPECT_STREQ(buf, "E:\\");
    ASSERT_TRUE(SourceForm(buf, sizeof buf, "E:\\pkg\\", "sub", nullptr));
    EXPECT_STREQ(buf, "E:\\pkg\\sub\\");

    std::string base = "C:\\" + std::string(253, 'b') + "\\";  // 257 characters
    EXPECT_TRUE(SourceForm(buf, sizeof buf, base.c_str(), "n", nullptr));  // 259 with the backslash
    EXPECT_EQ(std::string(buf), base + "n\\");
    EXPECT_FALSE(SourceForm(buf, sizeof buf, base.c_str(), "nn", nullptr));  // 260 with it
    std::string full = base + "nn\\";  // 260 characters that already end in a backslash
    EXPECT_TRUE(SourceForm(buf, sizeof buf, full.c_str() + 1, "", nullptr)) << "259: no second backslash";
    EXPECT_FALSE(SourceForm(buf, sizeof buf, full.c_str(), "", nullptr));
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

// Source forms read by character: in code page 932 the second byte of 表
// (95 5C) and ソ (83 5C) is the byte of a backslash.
TEST(SourceForm, ByCharacterInCodePage932) {
    auto cp932 = [](unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); };
    struct Row {
        const char* base;
        const char* name;
        bool dbcs;
        const char* form;
    };
    const Row rows[] = {
        {"E:\\\x95\x5C", "", true, "E:\\\x95\x5C\\"},                  // top level ending in 表
        {"E:\\\x95\x5C", "", false, "E:\\\x95\x5C"},                   // single bytes: as before
        {"E:\\pkg\\", "\x83\x5C", true, "E:\\pkg\\\x83\x5C\\"},        // nested ソ
        {"E:\\pkg\\", "\x83\x5C", false, "E:\\pkg\\\x83\x5C\\"},       // nested: always one added
        {"E:\\\x83\x5C\\", "", true, "E:\\\x83\x5C\\"},                // ends in ソ then a backslash
        {"C:\\pkg\\", "sub", true, "C:\\pkg\\sub\\"},                  // plain ASCII
    };
    for (const Row& r : rows) {
        char buf[260];
        ASSERT_TRUE(SourceForm(buf, sizeof buf, r.base, r.name, r.dbcs ? +cp932 : nullptr)) << r.form;
        EXPECT_STREQ(buf, r.form) << r.base << "|" << r.name << " dbcs " << r.dbcs;
    }
}

// The two reads of version.id at their 128-character limit, on the bytes
// as the file holds them (no text-mode translation: a temporary binary file).
#include "resultlog/recordline.h"
#include "resultlog/versionfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct Row {
    const char* name;
    std::string bytes;
    std::string update;
    std::string newValue;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

std::string U(size_t n) { return std::string(n, 'u'); }
std::string N(size_t n) { return std::string(n, 'n'); }

const Row kRows[] = {
    {"two_lines", "Sample Driver Update\n2.04.11\n", "Sample Driver Update", "2.04.11"},
    {"first_126", U(126) + "\nnew\n", U(126), "new"},
    // 127 characters fill the first read; its line feed is all the second gets.
    {"first_127", U(127) + "\nnew\n", U(127), ""},
    {"first_128", U(128) + "\nnew\n", U(127), "u"},
    {"first_254", U(254) + "\nnew\n", U(127), U(127)},
    {"first_255", U(255) + "\nnew\n", U(127), U(127)},
    {"second_127", "u\n" + N(127) + "\n", "u", N(127)},
    {"second_128", "u\n" + N(128) + "\n", "u", N(127)},
    {"zero_byte_ends_a_value", std::string("ab\0cd\nnew\n", 10), "ab", "new"},
    {"zero_byte_first", std::string("\0ab\n\0", 5), "", ""},
    {"only_line_feeds", "\n\n\n", "", ""},
    {"empty", "", "", ""},
    {"no_line_end", U(40), U(40), ""},
};

class VersionReads : public testing::TestWithParam<Row> {};

TEST_P(VersionReads, ValuesFitOrAreCut) {
    const Row& r = GetParam();
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(r.bytes.data(), 1, r.bytes.size(), f), r.bytes.size());
    rewind(f);
    char first[kVersionLineSize];
    char second[kVersionLineSize];
    const char* update = nullptr;
    const char* newValue = nullptr;
    ReadVersionValues(f, first, second, &update, &newValue);
    fclose(f);
    EXPECT_EQ(update, r.update);
    EXPECT_EQ(newValue, r.newValue);
}

INSTANTIATE_TEST_SUITE_P(Table, VersionReads, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

}  // namespace

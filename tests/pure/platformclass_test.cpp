// The classification decision on version facts: every class, and the
// Datacenter test that only the extended record allows.
#include "run/platformclass.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Row {
    const char* name;
    VersionFacts facts;  // queryOk, extended, platformId, major, minor, suiteLow
    PlatformClass expected;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

const Row kRows[] = {
    {"nt40", {true, true, 2, 4, 0, 0}, Nt4},
    {"nt40_plain_record", {true, false, 2, 4, 0, 0}, Nt4},
    {"nt4_10", {true, true, 2, 4, 10, 0}, Unsupported},
    {"win2000", {true, true, 2, 5, 0, 0}, Win2000},
    {"win2000_other_suites", {true, true, 2, 5, 0, 0x7F}, Win2000},
    {"win2000_datacenter", {true, true, 2, 5, 0, 0x80}, Unsupported},
    {"win2000_datacenter_plain_record", {true, false, 2, 5, 0, 0x80}, Win2000},
    {"winxp", {true, true, 2, 5, 1, 0}, WinXp},
    {"server2003", {true, true, 2, 5, 2, 0x10}, Server2003},
    {"server2003_datacenter_still_2003", {true, true, 2, 5, 2, 0x80}, Server2003},
    {"version_5_3", {true, true, 2, 5, 3, 0}, Unsupported},
    {"vista", {true, true, 2, 6, 0, 0}, Unsupported},
    {"win10", {true, true, 2, 10, 0, 0}, Unsupported},
    {"nt3", {true, true, 2, 3, 51, 0}, Unsupported},
    {"win98", {true, false, 1, 4, 10, 0}, Unsupported},
    {"win32s_numbers_of_2000", {true, false, 0, 5, 0, 0}, Unsupported},
    {"query_failed", {false, false, 2, 5, 0, 0}, Unsupported},
};

class Classify : public testing::TestWithParam<Row> {};

TEST_P(Classify, Decides) { EXPECT_EQ(ClassifyVersionFacts(GetParam().facts), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Table, Classify, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

}  // namespace

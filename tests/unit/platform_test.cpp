// Classification through injected version records: both record sizes, what
// each query hands on, and a second query that fails.
#include "osoverride.h"
#include "run/platformclass.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct FakeSystem {
    bool accept156;
    bool accept148;
    DWORD platformId;
    DWORD major;
    DWORD minor;
    WORD suiteMask;
};

FakeSystem g_fake;
std::vector<DWORD> g_sizesSeen;

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA info) {
    DWORD size = info->dwOSVersionInfoSize;
    g_sizesSeen.push_back(size);
    bool ok = (size == sizeof(OSVERSIONINFOEXA) && g_fake.accept156) ||
              (size == sizeof(OSVERSIONINFOA) && g_fake.accept148);
    if (!ok) return FALSE;
    info->dwPlatformId = g_fake.platformId;
    info->dwMajorVersion = g_fake.major;
    info->dwMinorVersion = g_fake.minor;
    if (size == sizeof(OSVERSIONINFOEXA))
        reinterpret_cast<OSVERSIONINFOEXA*>(info)->wSuiteMask = g_fake.suiteMask;
    return TRUE;
}

struct Row {
    const char* name;
    FakeSystem system;
    PlatformClass expected;
    std::vector<DWORD> sizes;  // record sizes of the two queries
};

const std::vector<DWORD> kExt = {156, 156};
const std::vector<DWORD> kPlain = {156, 148};

// What reaches the decision from the two queries (the decision itself is
// tested on its own in tests/pure): record sizes asked, the suite mask's
// low byte, the plain record without it.
const Row kRows[] = {
    {"nt40", {true, true, 2, 4, 0, 0}, Nt4, kExt},
    {"nt40_before_sp6", {false, true, 2, 4, 0, 0}, Nt4, kPlain},
    {"win2000", {true, true, 2, 5, 0, 0}, Win2000, kExt},
    {"win2000_server_suites", {true, true, 2, 5, 0, 0x0112}, Win2000, kExt},
    {"win2000_datacenter", {true, true, 2, 5, 0, 0x80}, Unsupported, kExt},
    {"win2000_datacenter_high_bits", {true, true, 2, 5, 0, 0x0180}, Unsupported, kExt},
    {"win2000_plain_record_skips_datacenter", {false, true, 2, 5, 0, 0x80}, Win2000, kPlain},
    {"winxp", {true, true, 2, 5, 1, 0x100}, WinXp, kExt},
    {"server2003", {true, true, 2, 5, 2, 0x110}, Server2003, kExt},
    {"win98", {false, true, 1, 4, 10, 0}, Unsupported, kPlain},
    {"both_sizes_refused", {false, false, 2, 5, 0, 0}, Unsupported, kPlain},
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

class ClassifyPlatformTest : public testing::TestWithParam<Row> {};

TEST_P(ClassifyPlatformTest, ClassifiesInjectedRecord) {
    const Row& row = GetParam();
    g_fake = row.system;
    g_sizesSeen.clear();
    OsOverride guard(&OsCalls::GetVersionExA, FakeGetVersionExA);
    EXPECT_EQ(ClassifyPlatform(), row.expected);
    EXPECT_EQ(g_sizesSeen, row.sizes);
}

INSTANTIATE_TEST_SUITE_P(Table, ClassifyPlatformTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// The second query may fail even after the first accepted the record.
int g_calls;
BOOL WINAPI FirstOnlyGetVersionExA(LPOSVERSIONINFOA info) {
    if (g_calls++ > 0) return FALSE;
    info->dwPlatformId = 2;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 0;
    return TRUE;
}

TEST(ClassifyPlatform, SecondQueryFailingIsUnsupported) {
    g_calls = 0;
    OsOverride guard(&OsCalls::GetVersionExA, FirstOnlyGetVersionExA);
    EXPECT_EQ(ClassifyPlatform(), Unsupported);
    EXPECT_EQ(g_calls, 2);
}

TEST(OsOverride, RestoresTheRealEntry) {
    auto real = g_os.GetVersionExA;
    {
        OsOverride guard(&OsCalls::GetVersionExA, FirstOnlyGetVersionExA);
        EXPECT_NE(g_os.GetVersionExA, real);
    }
    EXPECT_EQ(g_os.GetVersionExA, real);
}

}  // namespace

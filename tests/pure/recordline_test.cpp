// The record's texts without any file: stamps, the line and the log path.
// How version.id values reach the line is tested with real files.
#include "resultlog/recordline.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

struct StampRow {
    const char* name;
    uint16_t a, b, c;
    bool date;
    const char* expected;
};

void PrintTo(const StampRow& r, std::ostream* os) { *os << r.name; }

const StampRow kStamps[] = {
    {"morning_time", 9, 5, 7, false, "09:05:07"},
    {"march_date_month_first", 3, 7, 2004, true, "03-07-2004"},
    {"midnight", 0, 0, 0, false, "00:00:00"},
    {"last_second", 23, 59, 59, false, "23:59:59"},
    {"new_years_eve", 12, 31, 1999, true, "12-31-1999"},
    {"two_digit_year", 1, 2, 5, true, "01-02-05"},
    {"five_digits", 65535, 10000, 65535, true, "65535-10000-65535"},
};

class Stamp : public testing::TestWithParam<StampRow> {};

TEST_P(Stamp, Formats) {
    const StampRow& r = GetParam();
    char out[kStampSize];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(FormatStamp(r.a, r.b, r.c, r.date, out), out);
    EXPECT_STREQ(out, r.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Stamp, testing::ValuesIn(kStamps),
                         [](const testing::TestParamInfo<StampRow>& i) { return std::string(i.param.name); });

struct CodeRow {
    const char* name;
    int code;
    const char* tail;  // the line from ",Status="
};

void PrintTo(const CodeRow& r, std::ostream* os) { *os << r.name; }

const CodeRow kCodes[] = {
    {"success", 0, ",Status=Success,ReturnCode=0 \n"},
    {"start_failure", 1, ",Status=Unknown,ReturnCode=1 \n"},
    {"unsupported", 9, ",Status=Unknown,ReturnCode=9 \n"},
    {"driver_backlevel", 28, ",Status=Unknown,ReturnCode=28 \n"},
    {"bios_backlevel", 29, ",Status=Unknown,ReturnCode=29 \n"},
    {"both_backlevel", 30, ",Status=Unknown,ReturnCode=30 \n"},
    {"negative", -5, ",Status=Unknown,ReturnCode=-5 \n"},
    {"int_min", INT_MIN, ",Status=Unknown,ReturnCode=-2147483648 \n"},
};

class RecordCode : public testing::TestWithParam<CodeRow> {};

TEST_P(RecordCode, StatusAndReturnCode) {
    char line[kRecordLineSize];
    ASSERT_TRUE(ComposeRecordLine(line, sizeof line, "03-07-2004", "09:05:07", "Sample Driver Update", "2.04.11",
                                  GetParam().code));
    EXPECT_EQ(std::string(line), std::string("03-07-2004 09:05:07,Update=Sample Driver Update,New=2.04.11") +
                                     GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(Table, RecordCode, testing::ValuesIn(kCodes),
                         [](const testing::TestParamInfo<CodeRow>& i) { return std::string(i.param.name); });

TEST(RecordLine, ValuesWrittenAsTheyAre) {
    char line[kRecordLineSize];
    ASSERT_TRUE(ComposeRecordLine(line, sizeof line, "12-31-1999", "00:00:00", " Drv, ver=2 ", "a,b ,", 0));
    EXPECT_STREQ(line, "12-31-1999 00:00:00,Update= Drv, ver=2 ,New=a,b ,,Status=Success,ReturnCode=0 \n");
}

// Five-digit stamps, two 127-character values and the longest code still fit.
TEST(RecordLine, LongestLineFitsAndTooSmallIsRefused) {
    std::string value(127, 'v');
    std::string expected = "65535-65535-65535 65535:65535:65535,Update=" + value + ",New=" + value +
                           ",Status=Unknown,ReturnCode=-2147483648 \n";
    char line[kRecordLineSize];
    ASSERT_TRUE(ComposeRecordLine(line, sizeof line, "65535-65535-65535", "65535:65535:65535", value.c_str(),
                                  value.c_str(), INT_MIN));
    EXPECT_EQ(std::string(line), expected);

    char small[kRecordLineSize];
    EXPECT_TRUE(ComposeRecordLine(small, expected.size() + 1, "65535-65535-65535", "65535:65535:65535",
                                  value.c_str(), value.c_str(), INT_MIN));
    EXPECT_FALSE(ComposeRecordLine(small, expected.size(), "65535-65535-65535", "65535:65535:65535",
                                   value.c_str(), value.c_str(), INT_MIN));
    EXPECT_STREQ(small, "") << "no partial line";
}

// The log file path, value plus "\QVLOG\QV.log", must fit in 128 characters.
TEST(LogDirPath, FitsOrRefuses) {
    char path[128];
    ASSERT_TRUE(LogDirPath(path, sizeof path, "C:"));
    EXPECT_STREQ(path, "C:\\QVLOG");

    std::string longest = "C:\\" + std::string(111, 'd');  // 114 characters
    ASSERT_TRUE(LogDirPath(path, sizeof path, longest.c_str()));
    EXPECT_EQ(std::string(path), longest + "\\QVLOG");
    EXPECT_FALSE(LogDirPath(path, sizeof path, (longest + "d").c_str()));
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(LogDirPath(path, sizeof path, ""));
}

}  // namespace

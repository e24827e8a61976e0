// The tool-log scan on its own: which logs set which flag, fed whole, in
// pieces of the procedure's 255 characters, and byte by byte.
#include "update/logscan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kDriver = "Error Code 28:";
const std::string kBios = "Error Code 29:";

struct ScanRow {
    const char* name;
    std::string log;
    bool bios;
    bool driver;
};

void PrintTo(const ScanRow& r, std::ostream* os) { *os << r.name; }

// kDriver starting at offset 250 of its line: characters 251 to 264.
std::string Straddling255(const std::string& marker) {
    return std::string(250, 'x') + marker + std::string(40, 'x') + "\n";
}

const ScanRow kRows[] = {
    {"empty", "", false, false},
    {"clean", "update of zorvad.sys\nDriver level current.\n", false, false},
    {"driver_alone", "start\nError Code 28: driver back-level\nend\n", false, true},
    {"bios_alone", "start\nError Code 29: BIOS back-level\nend\n", true, false},
    {"both_one_line", "Error Code 29: and Error Code 28: at once\n", true, true},
    {"both_any_order", "Error Code 28:\nError Code 29:\n", true, true},
    {"marker_is_whole_log", kDriver, false, true},
    {"last_line_without_line_feed", "start\nsee Error Code 28:", false, true},
    {"other_case", "error code 28:\nERROR CODE 29:\nError code 28:\n", false, false},
    {"without_colon", "Error Code 28\nError Code 29 :\n", false, false},
    {"code_280", "Error Code 280:\nError Code 290:\n", false, false},
    {"one_byte_short", "Error Code 2", false, false},
    {"crlf_endings", "start\r\nError Code 28: x\r\nError Code 29:\r\n", true, true},
    {"straddles_255th", Straddling255(kDriver), false, true},
    {"ends_at_255th", std::string(241, 'x') + kBios + "\n", true, false},
    {"starts_at_256th", std::string(255, 'x') + kDriver + "\n", false, true},
    {"after_zero_byte", std::string("status") + '\0' + " Error Code 28:\n", false, true},
    {"zero_byte_inside_marker", std::string("Error Code") + '\0' + "28:\n", false, false},
    {"many_lines_marker_late", std::string(5000, '\n') + kBios, true, false},
};

class LogScanTable : public testing::TestWithParam<ScanRow> {};

LogScan ScanInPieces(const std::string& log, size_t piece) {
    LogScan scan;
    LogScanStart(&scan);
    for (size_t at = 0; at < log.size(); at += piece)
        LogScanFeed(&scan, log.data() + at, std::min(piece, log.size() - at));
    return scan;
}

TEST_P(LogScanTable, FindsTheMarkersInAnyPieces) {
    const ScanRow& r = GetParam();
    for (size_t piece : {size_t(1), size_t(13), size_t(14), size_t(255), size_t(100000)}) {
        LogScan scan = ScanInPieces(r.log, piece);
        EXPECT_EQ(scan.bios, r.bios) << "pieces of " << piece;
        EXPECT_EQ(scan.driver, r.driver) << "pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LogScanTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<ScanRow>& info) { return std::string(info.param.name); });

// A marker cut at every place, over two and three pieces, with an empty
// piece between.
TEST(LogScanSeams, MarkerCutAnywhereIsFound) {
    const std::string log = "ab" + kDriver + "cd";
    for (size_t cut = 0; cut <= log.size(); ++cut) {
        for (size_t cut2 = cut; cut2 <= log.size(); ++cut2) {
            LogScan scan;
            LogScanStart(&scan);
            LogScanFeed(&scan, log.data(), cut);
            LogScanFeed(&scan, log.data() + cut, 0);
            LogScanFeed(&scan, log.data() + cut, cut2 - cut);
            LogScanFeed(&scan, log.data() + cut2, log.size() - cut2);
            EXPECT_TRUE(scan.driver) << "cut at " << cut << " and " << cut2;
            EXPECT_FALSE(scan.bios);
        }
    }
}

}  // namespace

// The one console line on which the whole-run harness runs a failed case once
// more (tests/support/main.cpp): Wine cmd's answer for a stand-in line it
// could not start. Anything else must not match.
#include "process.h"

#include <gtest/gtest.h>

namespace {

TEST(CmdAnswer, OnlyCmdsAnswerForTheStandInMatches) {
    const std::string tail = "' as an internal or external command, or batch script.";
    const struct {
        std::string line;
        bool matches;
    } cases[] = {
        {"Can't recognize 'mervane.exe /l C:\\QVT1.tmp\\VOR.LOG /s /noreboot /i C:\\QVT1.tmp\\zorvad.sys /oinowdp" +
             tail,
         true},
        {"Can't recognize 'mervane.exe /x" + tail, true},
        {"Can't recognize 'other.exe /x" + tail, false},            // another program
        {"Can't recognize 'mervane.exe" + tail, false},             // no arguments: not a line vorpkg gives
        {"Can't recognize 'mervane.exe /x' as an internal", false},  // cut short
        {"x Can't recognize 'mervane.exe /x" + tail, false},        // not the whole line
        {"Can't recognize 'mervane.exe /x" + tail + " ", false},
        {"Return Code from vorpkg is 1", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsCmdNotFoundLine(c.line), c.matches) << c.line;
}

}  // namespace

// The shape of a result-log line, for tests that read the log.
#ifndef VORPKG_TESTS_RECORD_H
#define VORPKG_TESTS_RECORD_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

// Today's local date as a record writes it: "MM-DD-YYYY".
std::string Today();

// "MM-DD-YYYY hh:mm:ss" followed by rest; when days are given, dated one of
// them (a run may cross midnight).
testing::AssertionResult IsRecord(const std::string& line, const std::string& rest,
                                  const std::vector<std::string>& days = {});

#endif

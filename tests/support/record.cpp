#include "record.h"

#include <windows.h>

#include <cctype>
#include <cstdio>

std::string Today() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char buf[16];
    snprintf(buf, sizeof buf, "%02d-%02d-%04d", t.wMonth, t.wDay, t.wYear);
    return buf;
}

testing::AssertionResult IsRecord(const std::string& line, const std::string& rest,
                                  const std::vector<std::string>& days) {
    const std::string shape = "dd-dd-dddd dd:dd:dd";
    bool ok = line.size() == shape.size() + rest.size() && line.compare(shape.size(), rest.size(), rest) == 0;
    for (size_t i = 0; ok && i < shape.size(); ++i)
        ok = shape[i] == 'd' ? isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == shape[i];
    bool dated = days.empty();
    for (const std::string& day : days) dated = dated || line.compare(0, 10, day) == 0;
    if (ok && dated) return testing::AssertionSuccess();
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << "[" << line << "] expected a record ending [" << rest << "]";
    for (const std::string& day : days) failure << " of " << day;
    return failure;
}

// ReportPrintf: whole lines on the report stream, whatever their length.
#include "cli/report_printf.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

TEST(ReportPrintf, WritesEveryLengthWholeAndCountsIt) {
  // Around the length that one platform formats in one piece, and far beyond.
  for (std::size_t length : {0u, 1u, 1022u, 1023u, 1024u, 1025u, 5000u}) {
    const std::string field(length, 'n');
    int written = -2;
    Output o = Capture([&] { written = ReportPrintf("[%s]%d\n", field.c_str(), 7); });
    EXPECT_EQ(o.err, "[" + field + "]7\n") << length;
    EXPECT_EQ(written, static_cast<int>(length + 4)) << length;
    EXPECT_EQ(o.out, "") << length;
  }
}

// Number and text formatting of the crash report's fixed line buffer.
#include <string>

#include <gtest/gtest.h>

#include "platform/signal_safe_text.h"

namespace nvx::platform {
namespace {

TEST(SignalSafeTextTest, FormatsNumbers) {
  const struct {
    bool hex;
    uint64_t value;
    int min_digits;
    const char* expected;
  } cases[] = {
      {true, 0, 8, "00000000"},
      {true, 0xC0000005, 8, "C0000005"},
      {true, 0x1A, 1, "1A"},
      {true, 0, 1, "0"},
      {true, 0xABCDEF, 0, "ABCDEF"},
      {true, 0xFFFFFFFFFFFFFFFFull, 16, "FFFFFFFFFFFFFFFF"},
      {true, 0x7FFC1234, 16, "000000007FFC1234"},
      {false, 7, 2, "07"},
      {false, 31, 2, "31"},
      {false, 2024, 4, "2024"},
      {false, 123, 2, "123"},
      {false, 18446744073709551615ull, 1, "18446744073709551615"},
      // Padding stops at the widest 64-bit number.
      {false, 5, 40, "00000000000000000005"},
  };
  for (const auto& c : cases) {
    ReportLine line;
    if (c.hex) {
      line.Hex(c.value, c.min_digits);
    } else {
      line.Decimal(c.value, c.min_digits);
    }
    EXPECT_EQ(line.view(), c.expected) << c.value;
  }
}

TEST(SignalSafeTextTest, BuildsLinesEndingCarriageReturnLineFeed) {
  ReportLine line;
  line.Text("Exception code: ").Hex(0xC0000094, 8).Text(" ").Text("INT_DIVIDE_BY_ZERO").EndLine();
  EXPECT_EQ(line.view(), "Exception code: C0000094 INT_DIVIDE_BY_ZERO\r\n");
  line.Clear();
  EXPECT_EQ(line.view(), "");
}

TEST(SignalSafeTextTest, OverlongLineIsCutAndStillEndsTheLine) {
  ReportLine line;
  line.Text(std::string(700, 'a')).Text(std::string(700, 'b')).Hex(0xFF, 2).EndLine();
  const std::string text(line.view());
  ASSERT_EQ(text.size(), ReportLine::kCapacity);
  EXPECT_EQ(text.substr(0, 700), std::string(700, 'a'));
  EXPECT_EQ(text.substr(700, ReportLine::kCapacity - 702),
            std::string(ReportLine::kCapacity - 702, 'b'));
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

}  // namespace
}  // namespace nvx::platform

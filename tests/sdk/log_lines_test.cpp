// What clients send never reaches the service's log, or other clients, as it was sent, and a
// flood of clients coming and going costs the log a bounded number of lines.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/PrintableText.h"
#include "server/DropSummary.h"

namespace CamSdk {
namespace {

TEST(PrintableText, ControlBytesAndBrokenLettersAreEscaped) {
  EXPECT_EQ(detail::printable("depth-viewer (process 12)"), "depth-viewer (process 12)");
  // A forged log line and a terminal escape sequence.
  EXPECT_EQ(detail::printable("x\ncamsdk-service: stopped"), "x\\x0acamsdk-service: stopped");
  EXPECT_EQ(detail::printable("\x1b[2J\x1b]0;title\a"), "\\x1b[2J\\x1b]0;title\\x07");
  EXPECT_EQ(detail::printable("a\\x0a"), "a\\x5cx0a");  // no escape can be faked
  EXPECT_EQ(detail::printable(std::string("nul\0", 4)), "nul\\x00");
  EXPECT_EQ(detail::printable("Kamera \xc3\xbc \xe6\x9d\xb1"), "Kamera \xc3\xbc \xe6\x9d\xb1");
  // A C1 control (U+009B, a terminal's CSI), a lone continuation byte, an overlong slash, DEL.
  EXPECT_EQ(detail::printable("\xc2\x9b"
                              "1m"),
            "\\xc2\\x9b1m");
  EXPECT_EQ(detail::printable("\x80\xc0\xaf\x7f"), "\\x80\\xc0\\xaf\\x7f");
  EXPECT_EQ(detail::printable("cut \xe6\x9d"), "cut \\xe6\\x9d");
}

TEST(DropSummary, AFloodOfLinesBecomesOneLineASecond) {
  std::vector<std::string> lines;
  server::DropSummary summary([&lines](int, const std::string& line) { lines.push_back(line); });
  using std::chrono::milliseconds;
  for (int i = 0; i < 1000; ++i)
    summary.dropped(milliseconds(1000 + i / 2), "client " + std::to_string(i));
  summary.flush(milliseconds(2100));
  ASSERT_EQ(lines.size(), server::DropSummary::kLinesPerSecond + 1u);
  EXPECT_EQ(lines[0], "client 0");
  EXPECT_EQ(lines.back(), "995 more lines like these in one second, the last: client 999");
  summary.dropped(milliseconds(2200), "client 1000");
  EXPECT_EQ(lines.back(), "client 1000");
}

}  // namespace
}  // namespace CamSdk

// The Windows program end to end: console text in text mode, and the /R job that obtains
// no connection. Without a display, Wine's Data Links service yields no connection, as a
// cancelled dialog does.
#include <gtest/gtest.h>

#include "tests/support.h"

namespace {

std::string WithCrLf(const std::string& text) {
  std::string converted;
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

TEST(DriverWin32, UsageIsWrittenWithConsoleLineEnds) {
  const ProgramRun run = RunProgram({"/?"});
  EXPECT_EQ(run.out, WithCrLf(kBannerText + kUsageText));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
}

TEST(DriverWin32, ReplicationWithoutConnectionFailsSilentlyAndWritesNoOutput) {
  ScratchDir dir;
  WriteFile(dir / "in.sql", "create procedure [sp_MSins_dboOrders]\r\nas\r\ngo\r\n");
  const std::string in = (dir / "in.sql").string();
  const std::string out = (dir / "out.sql").string();
  const std::vector<std::vector<std::string>> commandLines = {
      {"/R", in, out},
      {"/R", "", out},  // refused before any prompt
      {"/R", in, ""},
  };
  for (const std::vector<std::string>& arguments : commandLines) {
    const ProgramRun run = RunProgram(arguments);
    EXPECT_EQ(run.exitCode, 255) << testing::PrintToString(arguments);
    EXPECT_EQ(run.out, "") << testing::PrintToString(arguments);
    EXPECT_EQ(run.err, "") << testing::PrintToString(arguments);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.sql"));
  }
}

}  // namespace

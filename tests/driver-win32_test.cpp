// The Windows program end to end under Wine: console text in text mode, group creation and
// removal, and the /R job that obtains no connection. Wine's NetLocalGroupAdd adds nothing and
// reports success, and its NetLocalGroupDel reports each group removed or absent, both of
// which count as done; without a display, its Data Links service yields no connection, as a
// cancelled dialog does.
#include <cwchar>

#include <gtest/gtest.h>

#include "groups/groups.h"
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

std::string GroupNameLines() {
  std::string names;
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    names += std::string(*group, *group + std::wcslen(*group)) + "\n";
  }
  return names;
}

TEST(DriverWin32, GroupJobsReportEveryGroupWhenTheServiceLeavesThemAsWanted) {
  const struct {
    const char* programSwitch;
    std::string done;
  } jobs[] = {{"/C", "created"}, {"/D", "deleted"}};
  for (const auto& job : jobs) {
    const ProgramRun run = RunProgram({job.programSwitch});
    EXPECT_EQ(run.out, WithCrLf(kBannerText + "VOK QTV NT administration groups was succefully " +
                                job.done + ".\n\n" + GroupNameLines()))
        << job.programSwitch;
    EXPECT_EQ(run.exitCode, 0) << job.programSwitch;
    EXPECT_EQ(run.err, "") << job.programSwitch;
  }
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

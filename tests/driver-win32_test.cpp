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

// Without a display the Data Links dialog yields no connection, as a cancelled one: nothing is
// said. An empty file name is refused before any prompt, with its reason on standard error.
TEST(DriverWin32, ReplicationWithoutConnectionWritesNoOutput) {
  ScratchDir dir;
  WriteFile(dir / "in.sql", "create procedure [sp_MSins_dboOrders]\r\nas\r\ngo\r\n");
  const std::string in = (dir / "in.sql").string();
  const std::string out = (dir / "out.sql").string();
  const struct {
    std::vector<std::string> arguments;
    std::string err;
  } runs[] = {
      {{"/R", in, out}, ""},
      {{"/R", "", out}, "qtvdbadmin: the input file name is empty\r\n"},
      {{"/R", in, ""}, "qtvdbadmin: the output file name is empty\r\n"},
  };
  for (const auto& [arguments, err] : runs) {
    const ProgramRun run = RunProgram(arguments);
    EXPECT_EQ(run.exitCode, 255) << testing::PrintToString(arguments);
    EXPECT_EQ(run.out, "") << testing::PrintToString(arguments);
    EXPECT_EQ(run.err, err) << testing::PrintToString(arguments);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.sql"));
  }
}

}  // namespace

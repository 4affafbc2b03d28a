// The command line, end to end through the real program.
#include <gtest/gtest.h>

#include "tests/support.h"

namespace {

struct DispatchCase {
  std::vector<std::string> arguments;
  std::string out;
  int exitCode;
};

TEST(Dispatch, ChoosesTheJobFromTheWholeArguments) {
  const std::string usage = kBannerText + kUsageText;
  const DispatchCase cases[] = {
      {{}, usage, 0},
      {{"/?"}, usage, 0},
      {{"/C", "/?"}, usage, 0},  // usage wins wherever it stands; no group is created
      {{"/R", "in", "/?"}, usage, 0},
      {{"/c"}, "", 255},
      {{"/r", "in", "out"}, "", 255},
      {{"/D"}, "", 255},
      {{"-C"}, "", 255},
      {{"/C:"}, "", 255},
      {{"/?:"}, "", 255},
      {{"/R", "in"}, "", 255},
      {{"/R", "in", "out", "more"}, "", 255},
      {{"anything"}, "", 255},
  };
  for (const DispatchCase& c : cases) {
    const ProgramRun run = RunProgram(c.arguments);
    EXPECT_EQ(run.out, c.out) << testing::PrintToString(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << testing::PrintToString(c.arguments);
    EXPECT_EQ(run.err, "") << testing::PrintToString(c.arguments);
  }
}

}  // namespace

// /C end to end: the real program and the real groupadd, each run in a private mount namespace
// over a copy of /etc, so that the groups land in the copy and never in this computer's own
// group database. Needs root (for the namespace) and skips, saying why, where it cannot get one.
// Which switch wins over /C is part of the dispatch table in driver_test.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "tests/group_sandbox.h"

namespace {

class GroupsEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    const std::string unavailable = GroupSandboxUnavailable();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    guard_.emplace();
  }

 private:
  std::optional<RealGroupDatabaseGuard> guard_;
};

TEST_F(GroupsEndToEnd, CreatesTheElevenGroupsAndSucceedsAgainWhenTheyExist) {
  const EtcSandbox sandbox;
  const std::string before = sandbox.GroupFile();

  const ProgramRun fresh = sandbox.RunProgram({"/C"});
  EXPECT_EQ(fresh.out, GroupsCreatedText());
  EXPECT_EQ(fresh.err, "");
  EXPECT_EQ(fresh.exitCode, 0);
  const std::string created = sandbox.GroupFile();
  EXPECT_EQ(AddedGroups(before, created), GroupNames());

  const ProgramRun again = sandbox.RunProgram({"/C"});
  EXPECT_EQ(again.out, GroupsCreatedText());
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(sandbox.GroupFile(), created);
}

TEST_F(GroupsEndToEnd, AUserWithoutTheRightIsDeniedEveryGroup) {
  try {
    RunCommand({"setpriv", "--version"});
  } catch (const std::system_error& error) {
    GTEST_SKIP() << "setpriv cannot be run, so no unprivileged user: " << error.what();
  }
  const EtcSandbox sandbox;
  const std::string before = sandbox.GroupFile();

  // As nobody (65534), with an ordinary user's PATH, which leaves out the directory of groupadd.
  const ProgramRun run = sandbox.Run({"setpriv", "--reuid=65534", "--regid=65534",
                                      "--clear-groups", "env", "PATH=/usr/local/bin:/usr/bin:/bin",
                                      sandbox.program().string(), "/C"});
  std::string expected = kBannerText + "Could not create VOK QTV NT administration groups.\n\n";
  for (const std::string& name : GroupNames()) {
    expected += "AddNTGroup : failed : The user does not have access to the requested "
                "information. for : " + name + "\n";
  }
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(sandbox.GroupFile(), before);
}

}  // namespace

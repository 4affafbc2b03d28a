// /C and /D end to end: the real program and the real groupadd and groupdel, each run in a
// private mount namespace over a copy of /etc, so that the groups land in the copy and never in
// this computer's own group database. Needs root (for the namespace) and skips, saying why,
// where it cannot get one. Which switch wins over another is part of the dispatch table in
// driver_test.
#include <gtest/gtest.h>

#include <filesystem>
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

  // Runs the program in `sandbox` with `programSwitch` as nobody (65534), with an ordinary
  // user's PATH, which leaves out the directory of groupadd and groupdel.
  static ProgramRun RunAsNobody(const EtcSandbox& sandbox, const std::string& programSwitch) {
    return sandbox.Run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env",
                        "PATH=/usr/local/bin:/usr/bin:/bin", sandbox.program().string(),
                        programSwitch});
  }

  static bool CanRunAsNobody(std::string& why) {
    try {
      RunCommand({"setpriv", "--version"});
      return true;
    } catch (const std::system_error& error) {
      why = std::string("setpriv cannot be run, so no unprivileged user: ") + error.what();
      return false;
    }
  }

  // Creates the eleven groups in `sandbox`.
  static void CreateGroups(const EtcSandbox& sandbox) {
    const ProgramRun created = sandbox.RunProgram({"/C"});
    ASSERT_EQ(created.out, GroupsCreatedText());
  }

 private:
  std::optional<RealGroupDatabaseGuard> guard_;
};

// The failure text of `job` ("create", "delete") with one line for each of `messages`.
std::string FailureText(const std::string& job, const std::vector<std::string>& messages) {
  std::string text = kBannerText + "Could not " + job + " VOK QTV NT administration groups.\n\n";
  for (const std::string& message : messages) text += message + "\n";
  return text;
}

// The access-denied message of `job` ("AddNTGroup", "DeleteNTGroup") for every group.
std::vector<std::string> EveryGroupDenied(const std::string& job) {
  std::vector<std::string> messages;
  for (const std::string& name : GroupNames()) {
    messages.push_back(job +
                       " : failed : The user does not have access to the requested "
                       "information. for : " +
                       name);
  }
  return messages;
}

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
  std::string why;
  if (!CanRunAsNobody(why)) GTEST_SKIP() << why;
  const EtcSandbox sandbox;
  const std::string before = sandbox.GroupFile();

  const ProgramRun run = RunAsNobody(sandbox, "/C");
  EXPECT_EQ(run.out, FailureText("create", EveryGroupDenied("AddNTGroup")));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(sandbox.GroupFile(), before);
}

TEST_F(GroupsEndToEnd, DeletesTheElevenGroupsAndSucceedsAgainWhenTheyAreGone) {
  const EtcSandbox sandbox;
  const std::string groupsBefore = sandbox.GroupFile();
  const std::string gshadowBefore = sandbox.GshadowFile();
  ASSERT_NO_FATAL_FAILURE(CreateGroups(sandbox));

  const ProgramRun removed = sandbox.RunProgram({"/D"});
  EXPECT_EQ(removed.out, GroupsDeletedText());
  EXPECT_EQ(removed.err, "");
  EXPECT_EQ(removed.exitCode, 0);
  // Only the eleven lines went, and every other line is as it was.
  EXPECT_EQ(sandbox.GroupFile(), groupsBefore);
  EXPECT_EQ(sandbox.GshadowFile(), gshadowBefore);

  const ProgramRun again = sandbox.RunProgram({"/D"});
  EXPECT_EQ(again.out, GroupsDeletedText());
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(sandbox.GroupFile(), groupsBefore);
}

TEST_F(GroupsEndToEnd, AUserWithoutTheRightMayRemoveNoGroup) {
  std::string why;
  if (!CanRunAsNobody(why)) GTEST_SKIP() << why;
  const EtcSandbox sandbox;
  ASSERT_NO_FATAL_FAILURE(CreateGroups(sandbox));
  const std::string created = sandbox.GroupFile();

  const ProgramRun run = RunAsNobody(sandbox, "/D");
  EXPECT_EQ(run.out, FailureText("delete", EveryGroupDenied("DeleteNTGroup")));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(sandbox.GroupFile(), created);
}

TEST_F(GroupsEndToEnd, KeepsTheGroupThatIsAUsersPrimaryGroupAndRemovesTheOthers) {
  const EtcSandbox sandbox;
  const std::string before = sandbox.GroupFile();
  ASSERT_NO_FATAL_FAILURE(CreateGroups(sandbox));
  // A user of the copy whose primary group is the second group of the table: its line is
  // "vok_db_qtv_server:x:<gid>:".
  const std::string created = sandbox.GroupFile();
  const std::size_t line = created.find("\nvok_db_qtv_server:x:");
  ASSERT_NE(line, std::string::npos);
  const std::size_t gid = line + std::string("\nvok_db_qtv_server:x:").size();
  const std::string passwd = ReadFile(sandbox.etc() / "passwd");
  WriteFile(sandbox.etc() / "passwd",
            passwd + "qtvtestuser:x:64999:" + created.substr(gid, created.find(':', gid) - gid) +
                "::/nonexistent:/usr/sbin/nologin\n");

  const ProgramRun run = sandbox.RunProgram({"/D"});
  EXPECT_EQ(run.out, FailureText("delete", {"DeleteNTGroup : failed : groupdel: cannot remove "
                                            "the primary group of user 'qtvtestuser' for : "
                                            "vok_db_qtv_server"}));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(AddedGroups(before, sandbox.GroupFile()),
            std::vector<std::string>{"vok_db_qtv_server"});
}

// A groupadd and a groupdel first on the PATH are never run: the system's own ones are, from
// /usr/sbin or /sbin.
TEST_F(GroupsEndToEnd, RunsTheSystemsToolsWhateverComesFirstOnThePath) {
  const EtcSandbox sandbox;
  const std::string before = sandbox.GroupFile();
  const std::filesystem::path fakes = sandbox / "fakes";
  std::filesystem::create_directory(fakes);
  for (const std::string tool : {"groupadd", "groupdel"}) {
    WriteFile(fakes / tool, "#!/bin/sh\ntouch \"$0.ran\"\nexit 0\n");
    std::filesystem::permissions(fakes / tool, std::filesystem::perms::owner_all);
  }
  const auto runWithFakesFirst = [&](const std::string& programSwitch) {
    return sandbox.Run({"env", "PATH=" + fakes.string() + ":/usr/local/bin:/usr/bin:/bin",
                        sandbox.program().string(), programSwitch});
  };

  const ProgramRun created = runWithFakesFirst("/C");
  EXPECT_EQ(created.out, GroupsCreatedText());
  EXPECT_EQ(created.exitCode, 0);
  EXPECT_EQ(AddedGroups(before, sandbox.GroupFile()), GroupNames());
  const ProgramRun removed = runWithFakesFirst("/D");
  EXPECT_EQ(removed.out, GroupsDeletedText());
  EXPECT_EQ(removed.exitCode, 0);
  EXPECT_EQ(sandbox.GroupFile(), before);
  for (const std::string tool : {"groupadd", "groupdel"}) {
    EXPECT_FALSE(std::filesystem::exists(fakes / (tool + ".ran"))) << tool << " on the PATH ran";
  }
}

}  // namespace

// /C end to end: the real program and the real groupadd, each run in a private mount namespace
// over a copy of /etc, so that the groups land in the copy and never in this computer's own
// group database. Needs root (for the namespace) and skips, saying why, where it cannot get one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "groups/groups.h"
#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

// Found in /etc only when the copy is mounted there.
constexpr char kMarker[] = ".qtvtest-sandbox";

std::vector<std::string> GroupNames() {
  std::vector<std::string> names;
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    names.emplace_back(*group, *group + std::wcslen(*group));
  }
  return names;
}

std::string SuccessText() {
  std::string text = kBannerText + "VOK QTV NT administration groups was succefully created.\n\n";
  for (const std::string& name : GroupNames()) text += name + "\n";
  return text;
}

// A copy of /etc and of the program, which a process sees as /etc once inside its own mount
// namespace.
class EtcSandbox {
 public:
  EtcSandbox() {
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
    const ProgramRun copy = RunCommand({"cp", "-a", "/etc", etc().string()});
    if (copy.exitCode != 0) throw std::runtime_error("cannot copy /etc: " + copy.err);
    WriteFile(etc() / kMarker, "");
    fs::copy_file(QTV_PROGRAM, program());
  }

  fs::path etc() const { return dir_ / "etc"; }
  fs::path program() const { return dir_ / "qtvdbadmin"; }
  fs::path operator/(const std::string& name) const { return dir_ / name; }
  std::string GroupFile() const { return ReadFile(etc() / "group"); }

  // Runs `command` with the copy mounted on /etc; refuses to run it on the real one.
  ProgramRun Run(const std::vector<std::string>& command) const {
    std::vector<std::string> line{
        "unshare", "--mount", "--propagation", "private", "sh", "-c",
        std::string("mount --bind \"$1\" /etc && test -e /etc/") + kMarker +
            " || { echo 'no sandbox' >&2; exit 99; }; shift; exec \"$@\"",
        "sh", etc().string()};
    line.insert(line.end(), command.begin(), command.end());
    return RunCommand(line);
  }

  // The program as root.
  ProgramRun RunProgram(const std::vector<std::string>& arguments) const {
    std::vector<std::string> command{program().string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return Run(command);
  }

 private:
  ScratchDir dir_;
};

class GroupsEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      GTEST_SKIP() << "not root: no private mount namespace to create groups in, so /C is not "
                      "run against the real groupadd";
    }
    try {
      const ProgramRun probe =
          RunCommand({"unshare", "--mount", "--propagation", "private", "true"});
      if (probe.exitCode != 0) GTEST_SKIP() << "unshare --mount failed: " << probe.err;
    } catch (const std::system_error& error) {
      GTEST_SKIP() << "unshare cannot be run: " << error.what();
    }
    realGroup_ = ReadFile("/etc/group");
    realGshadow_ = ReadFile("/etc/gshadow");
    guarding_ = true;
  }

  void TearDown() override {
    if (!guarding_) return;
    EXPECT_TRUE(ReadFile("/etc/group") == realGroup_) << "this computer's /etc/group changed";
    EXPECT_TRUE(ReadFile("/etc/gshadow") == realGshadow_) << "this computer's /etc/gshadow changed";
  }

 private:
  std::string realGroup_, realGshadow_;
  bool guarding_ = false;
};

// The group names of the lines that `after` has beyond `before`, which it must start with.
std::vector<std::string> AddedGroups(const std::string& before, const std::string& after) {
  EXPECT_EQ(after.substr(0, before.size()), before);
  std::vector<std::string> names;
  for (std::size_t line = before.size(); line < after.size(); line = after.find('\n', line) + 1) {
    names.push_back(after.substr(line, after.find(':', line) - line));
  }
  return names;
}

TEST_F(GroupsEndToEnd, CreatesTheElevenGroupsAndSucceedsAgainWhenTheyExist) {
  const EtcSandbox sandbox;
  const std::string before = sandbox.GroupFile();

  const ProgramRun fresh = sandbox.RunProgram({"/C"});
  EXPECT_EQ(fresh.out, SuccessText());
  EXPECT_EQ(fresh.err, "");
  EXPECT_EQ(fresh.exitCode, 0);
  const std::string created = sandbox.GroupFile();
  EXPECT_EQ(AddedGroups(before, created), GroupNames());

  const ProgramRun again = sandbox.RunProgram({"/C"});
  EXPECT_EQ(again.out, SuccessText());
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

TEST_F(GroupsEndToEnd, SwitchCWinsOverTheScriptJobAndCountsOnce) {
  const std::vector<std::vector<std::string>> commandLines = {
      {"/C", "/C"},
      {"/C", "/R", "in.sql", "out.sql"},
      {"/R", "in.sql", "out.sql", "/C"},
      {"/R", "/C", "out.sql"},  // "/R" with exactly two more arguments
      {"/C", "/R", "out.sql"},
  };
  for (std::vector<std::string> arguments : commandLines) {
    const EtcSandbox sandbox;
    const std::string before = sandbox.GroupFile();
    WriteFile(sandbox / "in.sql", "create procedure sp_msins_t\n");
    for (std::string& argument : arguments) {
      if (argument.ends_with(".sql")) argument = (sandbox / argument).string();
    }
    const ProgramRun run = sandbox.RunProgram(arguments);
    const std::string what = testing::PrintToString(arguments);
    EXPECT_EQ(run.out, SuccessText()) << what;
    EXPECT_EQ(run.exitCode, 0) << what;
    EXPECT_EQ(AddedGroups(before, sandbox.GroupFile()), GroupNames()) << what;
    EXPECT_FALSE(fs::exists(sandbox / "out.sql")) << what;
  }
}

}  // namespace

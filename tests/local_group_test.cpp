// The Linux add and delete calls over a stand-in groupadd and groupdel: the test puts scripts
// of those names in a directory of its own and has the calls run their tools from there, so
// nothing here reaches the computer's group database.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "groups/local_group-posix.h"
#include "tests/support.h"

namespace {

// Makes the stand-in `tool` in `directory` run `body` as a shell script, with the system's
// tools at hand.
void StandIn(const std::filesystem::path& directory, const std::string& body, mode_t mode = 0755,
             const std::string& tool = "groupadd") {
  WriteFile(directory / tool, "#!/bin/sh\nPATH=/usr/bin:/bin\n" + body + "\n");
  chmod((directory / tool).c_str(), mode);
}

class LocalGroupTest : public testing::Test {
 protected:
  void StandIn(const std::string& body, mode_t mode = 0755, const std::string& tool = "groupadd") {
    ::StandIn(bin_.path(), body, mode, tool);
  }

  ScratchDir bin_;
  const std::string binPath_ = bin_.path().string();
  // Where the calls run their tools from: the stand-ins' directory alone.
  const std::string_view tools_[1] = {binPath_};
};

struct StatusCase {
  const char* what;
  std::string body;
  GroupOutcome outcome;
  std::wstring reason;
};

TEST_F(LocalGroupTest, MapsHowGroupaddEnded) {
  const GroupOutcome notAdded = GroupOutcome::kOther;
  const GroupOutcome denied = GroupOutcome::kAccessDenied;
  // Only a caller who is not root lacks the right when groupadd cannot update the group file.
  const bool root = geteuid() == 0;
  const StatusCase cases[] = {
      {"added", "exit 0", GroupOutcome::kDone, L""},
      {"added, talking", "echo 'all fine'; echo 'really' >&2; exit 0", GroupOutcome::kDone, L""},
      {"name in use", "echo \"groupadd: group '$2' already exists\" >&2; exit 9",
       GroupOutcome::kAlreadyDone, L""},
      {"not permitted", "echo 'groupadd: PAM: Authentication failure' >&2; exit 1", denied, L""},
      {"cannot update the group file",
       "echo 'groupadd: cannot lock /etc/group; try again later.' >&2; exit 10",
       root ? notAdded : denied,
       root ? L"groupadd exited with status 10: groupadd: cannot lock /etc/group; try again later."
            : L""},
      {"bad name", "echo \"groupadd: '$2' is not a valid group name\" >&2; exit 3", notAdded,
       L"groupadd exited with status 3: groupadd: 'grp' is not a valid group name"},
      {"silent failure", "exit 4", notAdded, L"groupadd exited with status 4"},
      {"lines joined, output bounded",
       "printf 'first\\n\\tsecond\\n'; head -c 1000 /dev/zero | tr '\\0' x >&2; exit 2", notAdded,
       L"groupadd exited with status 2: first  second " + std::wstring(386, L'x')},
      {"ended by a signal", "kill -TERM $$", notAdded,
       L"groupadd was ended by signal 15 (Terminated)"},
      {"words in the C locale", "echo \"$LC_ALL\"; exit 3", notAdded,
       L"groupadd exited with status 3: C"},
  };
  for (const StatusCase& c : cases) {
    StandIn(c.body);
    const GroupResult result = AddLocalGroupFrom(tools_, L"grp");
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.reason, c.reason) << c.what;
  }
}

TEST_F(LocalGroupTest, MapsHowGroupdelEnded) {
  const GroupOutcome notRemoved = GroupOutcome::kOther;
  const GroupOutcome denied = GroupOutcome::kAccessDenied;
  const bool root = geteuid() == 0;
  const StatusCase cases[] = {
      {"removed", "exit 0", GroupOutcome::kDone, L""},
      {"removed, talking", "echo 'all fine'; exit 0", GroupOutcome::kDone, L""},
      {"no such group", "echo \"groupdel: group '$2' does not exist\" >&2; exit 6",
       GroupOutcome::kAlreadyDone, L""},
      {"not permitted", "echo 'groupdel: PAM: Authentication failure' >&2; exit 1", denied, L""},
      {"cannot update the group file",
       "echo 'groupdel: Permission denied.' >&2; "
       "echo 'groupdel: cannot lock /etc/group; try again later.' >&2; exit 10",
       root ? notRemoved : denied,
       root ? L"groupdel exited with status 10: groupdel: Permission denied. groupdel: cannot "
              L"lock /etc/group; try again later."
            : L""},
      // The primary group of a user stays; groupdel's own words name the user.
      {"primary group of a user",
       "echo \"groupdel: cannot remove the primary group of user 'alice'\" >&2; exit 8", notRemoved,
       L"groupdel: cannot remove the primary group of user 'alice'"},
      {"primary group, silent", "exit 8", notRemoved, L"groupdel exited with status 8"},
      {"bad syntax", "echo 'Usage: groupdel [options] GROUP' >&2; exit 2", notRemoved,
       L"groupdel exited with status 2: Usage: groupdel [options] GROUP"},
      {"ended by a signal", "echo 'going'; kill -KILL $$", notRemoved,
       L"groupdel was ended by signal 9 (Killed): going"},
      {"words in the C locale", "echo \"$LC_ALL\"; exit 12", notRemoved,
       L"groupdel exited with status 12: C"},
  };
  for (const StatusCase& c : cases) {
    StandIn(c.body, 0755, "groupdel");
    const GroupResult result = DeleteLocalGroupFrom(tools_, L"grp");
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.reason, c.reason) << c.what;
  }
}

// The add and the delete call, each with the tool it runs.
struct PlatformCall {
  std::string tool;
  std::function<GroupResult(std::span<const std::string_view> directories,
                            const std::wstring& group)>
      call;
};

const PlatformCall kCalls[] = {
    {"groupadd", AddLocalGroupFrom},
    {"groupdel", DeleteLocalGroupFrom},
};

TEST_F(LocalGroupTest, RunsEachToolWithTheNameAloneAndNoInput) {
  for (const PlatformCall& platform : kCalls) {
    StandIn("printf '%s\\n' \"$@\" > \"$0.args\"; readlink /proc/$$/fd/0 > \"$0.stdin\"", 0755,
            platform.tool);
    for (const wchar_t* name : {L"vok_db_qtv_server", L"-r", L"with blank"}) {
      EXPECT_EQ(platform.call(tools_, name).outcome, GroupOutcome::kDone) << platform.tool;
      const std::wstring wide(name);
      const std::string narrow(wide.begin(), wide.end());
      EXPECT_EQ(ReadFile(bin_ / (platform.tool + ".args")), "--\n" + narrow + "\n");
      EXPECT_EQ(ReadFile(bin_ / (platform.tool + ".stdin")), "/dev/null\n");
    }
  }
}

TEST_F(LocalGroupTest, RefusesNamesTheToolsCannotTakeWithoutRunningThem) {
  for (const PlatformCall& platform : kCalls) {
    StandIn("touch \"$0.ran\"", 0755, platform.tool);
    for (const std::wstring& name :
         {std::wstring(L"caf\u00e9"), std::wstring(L"a\nb"), std::wstring(L"a\0b", 3)}) {
      const GroupResult result = platform.call(tools_, name);
      EXPECT_EQ(result.outcome, GroupOutcome::kOther);
      EXPECT_EQ(result.reason, L"the group name holds characters that " +
                                   std::wstring(platform.tool.begin(), platform.tool.end()) +
                                   L" does not take");
    }
    EXPECT_FALSE(std::filesystem::exists(bin_ / (platform.tool + ".ran"))) << platform.tool;
  }
}

// The first directory that holds the tool runs it, whatever the PATH holds; a directory without
// it is passed over, and a tool found nowhere is told.
TEST_F(LocalGroupTest, RunsEachToolFromTheFirstDirectoryThatHoldsItNeverFromThePath) {
  const ScratchDir empty, later, onPath;
  const std::string emptyPath = empty.path().string(), laterPath = later.path().string();
  const char* path = std::getenv("PATH");
  const std::string savedPath = path != nullptr ? path : "";
  setenv("PATH", onPath.path().c_str(), 1);
  for (const PlatformCall& platform : kCalls) {
    ::StandIn(onPath.path(), "touch \"$0.ran\"", 0755, platform.tool);
    ::StandIn(later.path(), "touch \"$0.ran\"", 0755, platform.tool);
    StandIn("touch \"$0.ran\"", 0755, platform.tool);
    const std::string_view first[] = {emptyPath, binPath_, laterPath};
    EXPECT_EQ(platform.call(first, L"grp").outcome, GroupOutcome::kDone) << platform.tool;
    EXPECT_TRUE(std::filesystem::exists(bin_ / (platform.tool + ".ran"))) << platform.tool;
    EXPECT_FALSE(std::filesystem::exists(later / (platform.tool + ".ran"))) << platform.tool;

    const std::string_view none[] = {emptyPath};
    const GroupResult result = platform.call(none, L"grp");
    EXPECT_EQ(result.outcome, GroupOutcome::kOther);
    EXPECT_EQ(result.reason, std::wstring(platform.tool.begin(), platform.tool.end()) +
                                 L" could not be started: No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(onPath / (platform.tool + ".ran"))) << platform.tool;
  }
  setenv("PATH", savedPath.c_str(), 1);
}

TEST_F(LocalGroupTest, SaysWhyTheToolCouldNotBeStarted) {
  // Not executable: "permission denied" is not a reason to look in the next directory.
  for (const PlatformCall& platform : kCalls) {
    StandIn("exit 0", 0644, platform.tool);
    const GroupResult result = platform.call(tools_, L"grp");
    EXPECT_EQ(result.outcome, GroupOutcome::kOther);
    EXPECT_EQ(result.reason, std::wstring(platform.tool.begin(), platform.tool.end()) +
                                 L" could not be started: Permission denied");
  }
}

}  // namespace

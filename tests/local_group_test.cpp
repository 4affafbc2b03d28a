// The Linux add call over a stand-in groupadd: the test puts a script of that name first on
// the PATH, so nothing here reaches the computer's group database.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "groups/local_group.h"
#include "tests/support.h"

namespace {

class LocalGroupTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    savedPath_ = path != nullptr ? path : "";
    setenv("PATH", bin_.path().c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  // Makes the stand-in groupadd run `body` as a shell script, with the system's tools at hand.
  void StandIn(const std::string& body, mode_t mode = 0755) {
    WriteFile(bin_ / "groupadd", "#!/bin/sh\nPATH=/usr/bin:/bin\n" + body + "\n");
    chmod((bin_ / "groupadd").c_str(), mode);
  }

  ScratchDir bin_;
  std::string savedPath_;
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
      {"bad name",
       "echo \"groupadd: '$2' is not a valid group name\" >&2; exit 3",
       notAdded,
       L"groupadd exited with status 3: groupadd: 'grp' is not a valid group name"},
      {"silent failure", "exit 4", notAdded, L"groupadd exited with status 4"},
      {"lines joined, output bounded",
       "printf 'first\\n\\tsecond\\n'; head -c 1000 /dev/zero | tr '\\0' x >&2; exit 2",
       notAdded,
       L"groupadd exited with status 2: first  second " + std::wstring(386, L'x')},
      {"ended by a signal", "kill -TERM $$", notAdded,
       L"groupadd was ended by signal 15 (Terminated)"},
      {"words in the C locale", "echo \"$LC_ALL\"; exit 3", notAdded,
       L"groupadd exited with status 3: C"},
  };
  for (const StatusCase& c : cases) {
    StandIn(c.body);
    const GroupResult result = AddLocalGroup(L"host", L"grp", L"comment");
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.reason, c.reason) << c.what;
  }
}

TEST_F(LocalGroupTest, RunsGroupaddWithTheNameAloneAndNoInput) {
  StandIn("printf '%s\\n' \"$@\" > \"$0.args\"; readlink /proc/$$/fd/0 > \"$0.stdin\"");
  for (const wchar_t* name : {L"vok_db_qtv_server", L"-r", L"with blank"}) {
    EXPECT_EQ(AddLocalGroup(L"host", name, L"VOK QTV account").outcome, GroupOutcome::kDone);
    const std::wstring wide(name);
    const std::string narrow(wide.begin(), wide.end());
    EXPECT_EQ(ReadFile(bin_ / "groupadd.args"), "--\n" + narrow + "\n");
    EXPECT_EQ(ReadFile(bin_ / "groupadd.stdin"), "/dev/null\n");
  }
}

TEST_F(LocalGroupTest, RefusesNamesGroupaddCannotTakeWithoutRunningIt) {
  StandIn("touch \"$0.ran\"");
  for (const std::wstring& name : {std::wstring(L"caf\u00e9"), std::wstring(L"a\nb"),
                                  std::wstring(L"a\0b", 3)}) {
    const GroupResult result = AddLocalGroup(L"host", name, L"comment");
    EXPECT_EQ(result.outcome, GroupOutcome::kOther);
    EXPECT_EQ(result.reason, L"the group name holds characters that groupadd does not take");
  }
  EXPECT_FALSE(std::filesystem::exists(bin_ / "groupadd.ran"));
}

TEST_F(LocalGroupTest, SaysWhyGroupaddCouldNotBeStarted) {
  // Not executable: the PATH search ends in "permission denied", which is not a reason to look
  // for the system's own groupadd.
  StandIn("exit 0", 0644);
  const GroupResult result = AddLocalGroup(L"host", L"grp", L"comment");
  EXPECT_EQ(result.outcome, GroupOutcome::kOther);
  EXPECT_EQ(result.reason, L"groupadd could not be started: Permission denied");
}

}  // namespace

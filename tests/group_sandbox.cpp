#include "tests/group_sandbox.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cwchar>
#include <stdexcept>
#include <system_error>

#include "groups/groups.h"

namespace fs = std::filesystem;

namespace {

// Found in /etc only when the copy is mounted there.
constexpr char kMarker[] = ".qtvtest-sandbox";

}  // namespace

std::vector<std::string> GroupNames() {
  std::vector<std::string> names;
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    names.emplace_back(*group, *group + std::wcslen(*group));
  }
  return names;
}

namespace {

std::string GroupsDoneText(const std::string& done) {
  std::string text =
      kBannerText + "VOK QTV NT administration groups was succefully " + done + ".\n\n";
  for (const std::string& name : GroupNames()) text += name + "\n";
  return text;
}

}  // namespace

std::string GroupsCreatedText() { return GroupsDoneText("created"); }

std::string GroupsDeletedText() { return GroupsDoneText("deleted"); }

std::string GroupSandboxUnavailable() {
  if (geteuid() != 0) {
    return "not root: no private mount namespace to change groups in, so /C and /D are not run "
           "against the real groupadd and groupdel";
  }
  try {
    const ProgramRun probe = RunCommand({"unshare", "--mount", "--propagation", "private", "true"});
    if (probe.exitCode != 0) return "unshare --mount failed: " + probe.err;
  } catch (const std::system_error& error) {
    return std::string("unshare cannot be run: ") + error.what();
  }
  return "";
}

EtcSandbox::EtcSandbox() {
  fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  const ProgramRun copy = RunCommand({"cp", "-a", "/etc", etc().string()});
  if (copy.exitCode != 0) throw std::runtime_error("cannot copy /etc: " + copy.err);
  WriteFile(etc() / kMarker, "");
  fs::copy_file(QTV_PROGRAM, program());
}

ProgramRun EtcSandbox::Run(const std::vector<std::string>& command) const {
  std::vector<std::string> line{"unshare",
                                "--mount",
                                "--propagation",
                                "private",
                                "sh",
                                "-c",
                                std::string("mount --bind \"$1\" /etc && test -e /etc/") + kMarker +
                                    " || { echo 'no sandbox' >&2; exit 99; }; shift; exec \"$@\"",
                                "sh",
                                etc().string()};
  line.insert(line.end(), command.begin(), command.end());
  return RunCommand(line);
}

ProgramRun EtcSandbox::RunProgram(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command{program().string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Run(command);
}

std::vector<std::string> AddedGroups(const std::string& before, const std::string& after) {
  EXPECT_EQ(after.substr(0, before.size()), before);
  std::vector<std::string> names;
  for (std::size_t line = before.size(); line < after.size(); line = after.find('\n', line) + 1) {
    names.push_back(after.substr(line, after.find(':', line) - line));
  }
  return names;
}

RealGroupDatabaseGuard::RealGroupDatabaseGuard()
    : group_(ReadFile("/etc/group")), gshadow_(ReadFile("/etc/gshadow")) {}

RealGroupDatabaseGuard::~RealGroupDatabaseGuard() {
  EXPECT_TRUE(ReadFile("/etc/group") == group_) << "this computer's /etc/group changed";
  EXPECT_TRUE(ReadFile("/etc/gshadow") == gshadow_) << "this computer's /etc/gshadow changed";
}

// Running the program's /C and /D jobs against the real groupadd and groupdel without touching
// this computer's group database: each run happens in a private mount namespace over a copy of
// /etc. Needs root; GroupSandboxUnavailable says why a test cannot have one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support.h"

// The eleven group names in table order.
std::vector<std::string> GroupNames();

// What /C prints when every group is there afterwards.
std::string GroupsCreatedText();

// What /D prints when no group is there afterwards.
std::string GroupsDeletedText();

// Empty when a sandbox can be had; otherwise the reason, for GTEST_SKIP.
std::string GroupSandboxUnavailable();

// A copy of /etc and of the program, which a process sees as /etc once inside its own mount
// namespace.
class EtcSandbox {
 public:
  EtcSandbox();

  const std::filesystem::path& path() const { return dir_.path(); }
  std::filesystem::path etc() const { return dir_ / "etc"; }
  std::filesystem::path program() const { return dir_ / "qtvdbadmin"; }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
  std::string GroupFile() const { return ReadFile(etc() / "group"); }
  std::string GshadowFile() const { return ReadFile(etc() / "gshadow"); }

  // Runs `command` with the copy mounted on /etc; refuses to run it on the real one.
  ProgramRun Run(const std::vector<std::string>& command) const;

  // Runs the program as root with `arguments`.
  ProgramRun RunProgram(const std::vector<std::string>& arguments) const;

 private:
  ScratchDir dir_;
};

// The group names of the lines that `after` has beyond `before`, which it must start with.
std::vector<std::string> AddedGroups(const std::string& before, const std::string& after);

// Fails the running test if this computer's /etc/group or /etc/gshadow differ, when the object
// goes, from what they were when it was made.
class RealGroupDatabaseGuard {
 public:
  RealGroupDatabaseGuard();
  ~RealGroupDatabaseGuard();
  RealGroupDatabaseGuard(const RealGroupDatabaseGuard&) = delete;
  RealGroupDatabaseGuard& operator=(const RealGroupDatabaseGuard&) = delete;

 private:
  std::string group_, gshadow_;
};

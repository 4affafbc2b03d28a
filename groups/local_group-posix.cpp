// Local groups on Linux: each group is added by the system's groupadd and removed by its
// groupdel, run from the system's own directories (see shadow_tool-posix.h). Linux groups have
// no comment field, so the comment ("VOK QTV account") is not stored; the server name is not
// needed either, since both tools only work on this computer.
#include "groups/local_group-posix.h"

#include <unistd.h>

#include <cstddef>
#include <string>

#include "groups/shadow_tool-posix.h"

namespace {

// How a tool's exit status reads as an outcome.
struct StatusMeaning {
  int exitStatus;
  GroupOutcome outcome;
};

// Exit statuses that groupadd and groupdel share: 0 done, 1 refused by PAM (builds that ask
// it whether the caller may change groups), 10 the group files cannot be locked or written.
constexpr int kStatusDone = 0;
constexpr int kStatusNotPermitted = 1;
constexpr int kStatusCannotUpdate = 10;

constexpr StatusMeaning kGroupAddStatuses[] = {
    {kStatusDone, GroupOutcome::kDone},
    {9, GroupOutcome::kAlreadyDone},  // the name is in use
    {kStatusNotPermitted, GroupOutcome::kAccessDenied},
};

constexpr StatusMeaning kGroupDelStatuses[] = {
    {kStatusDone, GroupOutcome::kDone},
    {6, GroupOutcome::kAlreadyDone},  // no such group
    {kStatusNotPermitted, GroupOutcome::kAccessDenied},
};

// groupdel's status for a group that is the primary group of some user.
constexpr int kGroupDelPrimaryGroup = 8;

// The outcome of `run` of `tool`, read with `meanings`; anything they do not list is kOther, in
// the tool's words.
template <std::size_t N>
GroupResult Outcome(const char* tool, const ShadowToolRun& run,
                    const StatusMeaning (&meanings)[N]) {
  if (run.exitStatus) {
    for (const StatusMeaning& meaning : meanings) {
      if (meaning.exitStatus == *run.exitStatus) return {meaning.outcome, {}};
    }
    // The group files cannot be updated: for anyone but root that is the lack of the right
    // (the tool itself then says "Permission denied."); for root it is something else, such as
    // another program holding the lock, and the tool's own words say what.
    if (*run.exitStatus == kStatusCannotUpdate && geteuid() != 0) {
      return {GroupOutcome::kAccessDenied, {}};
    }
  }
  return {GroupOutcome::kOther, ShadowToolWords(tool, run)};
}

}  // namespace

GroupResult AddLocalGroupFrom(std::span<const std::string_view> directories,
                              const std::wstring& group) {
  return Outcome("groupadd", RunShadowTool(directories, "groupadd", group), kGroupAddStatuses);
}

GroupResult DeleteLocalGroupFrom(std::span<const std::string_view> directories,
                                 const std::wstring& group) {
  // Never "--force": the primary group of a user stays, and is reported in groupdel's words,
  // which name the user ("cannot remove the primary group of user '...'").
  const ShadowToolRun run = RunShadowTool(directories, "groupdel", group);
  if (run.exitStatus == kGroupDelPrimaryGroup && !run.output.empty()) {
    return {GroupOutcome::kOther, run.output};
  }
  return Outcome("groupdel", run, kGroupDelStatuses);
}

GroupResult AddLocalGroup(const std::wstring&, const std::wstring& group, const std::wstring&) {
  return AddLocalGroupFrom(kSystemToolDirectories, group);
}

GroupResult DeleteLocalGroup(const std::wstring&, const std::wstring& group) {
  return DeleteLocalGroupFrom(kSystemToolDirectories, group);
}

std::wstring ReadComputerName() {
  // The name only goes to the platform calls above, which do not need it: a name that cannot
  // be read is left empty rather than failing the group job.
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::wstring();
  return WidenAscii(name);
}

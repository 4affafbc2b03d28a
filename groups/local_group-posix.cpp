// Local groups on Linux: each group is added by the system's groupadd and removed by its
// groupdel (see shadow_tool-posix.h). Linux groups have no comment field, so the comment ("VOK
// QTV account") is not stored; the server name is not needed either, since both tools only work
// on this computer.
#include "groups/local_group.h"

#include <unistd.h>

#include <string>

#include "groups/shadow_tool-posix.h"

namespace {

// groupadd's exit statuses.
constexpr int kAddAdded = 0;
constexpr int kAddNotPermitted = 1;  // builds that ask PAM whether the caller may add groups
constexpr int kAddNameInUse = 9;
constexpr int kAddCannotUpdate = 10;

// groupdel's exit statuses.
constexpr int kDeleteRemoved = 0;
constexpr int kDeleteNotPermitted = 1;  // as groupadd's
constexpr int kDeleteNoSuchGroup = 6;
constexpr int kDeletePrimaryGroup = 8;  // the group is the primary group of some user
constexpr int kDeleteCannotUpdate = 10;

// A tool cannot lock or write the group files: for anyone but root that is the lack of the
// right (the tool itself then says "Permission denied."); for root it is something else, such
// as another program holding the lock, and the tool's own words say what.
bool CannotUpdateForLackOfRight() { return geteuid() != 0; }

GroupResult Other(const char* tool, const ShadowToolRun& run) {
  return {GroupOutcome::kOther, ShadowToolWords(tool, run)};
}

}  // namespace

GroupResult AddLocalGroup(const std::wstring&, const std::wstring& group, const std::wstring&) {
  const ShadowToolRun run = RunShadowTool("groupadd", group);
  if (!run.exitStatus) return Other("groupadd", run);
  switch (*run.exitStatus) {
    case kAddAdded:
      return {GroupOutcome::kDone, {}};
    case kAddNameInUse:
      return {GroupOutcome::kAlreadyDone, {}};
    case kAddNotPermitted:
      return {GroupOutcome::kAccessDenied, {}};
    case kAddCannotUpdate:
      if (CannotUpdateForLackOfRight()) return {GroupOutcome::kAccessDenied, {}};
      return Other("groupadd", run);
    default:
      return Other("groupadd", run);
  }
}

GroupResult DeleteLocalGroup(const std::wstring&, const std::wstring& group) {
  // Never "--force": the primary group of a user stays, and is reported.
  const ShadowToolRun run = RunShadowTool("groupdel", group);
  if (!run.exitStatus) return Other("groupdel", run);
  switch (*run.exitStatus) {
    case kDeleteRemoved:
      return {GroupOutcome::kDone, {}};
    case kDeleteNoSuchGroup:
      return {GroupOutcome::kAlreadyDone, {}};
    case kDeleteNotPermitted:
      return {GroupOutcome::kAccessDenied, {}};
    case kDeleteCannotUpdate:
      if (CannotUpdateForLackOfRight()) return {GroupOutcome::kAccessDenied, {}};
      return Other("groupdel", run);
    case kDeletePrimaryGroup:
      // groupdel names the user ("cannot remove the primary group of user '...'").
      if (!run.output.empty()) return {GroupOutcome::kOther, run.output};
      return Other("groupdel", run);
    default:
      return Other("groupdel", run);
  }
}

std::wstring ReadComputerName() {
  // The name only goes to the platform calls above, which do not need it: a name that cannot
  // be read is left empty rather than failing the group job.
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::wstring();
  return WidenAscii(name);
}

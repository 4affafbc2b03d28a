// Local groups on Linux: each group is added by the system's groupadd (see
// shadow_tool-posix.h). Linux groups have no comment field, so the comment ("VOK QTV account")
// is not stored; the server name is not needed either, since groupadd only works on this
// computer.
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

std::wstring ReadComputerName() {
  // The name only goes to the platform calls above, which do not need it: a name that cannot
  // be read is left empty rather than failing the group job.
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::wstring();
  return WidenAscii(name);
}

#include "groups/groups.h"

#include <cstddef>

#include "groups/local_group.h"

const wchar_t* const AdminGroupTable[] = {
    L"vok_db_admin_security",          L"vok_db_qtv_server",
    L"vok_db_admin_enterprise",        L"vok_db_admin_handheld",
    L"vok_db_admin_sr_helpdesk",       L"vok_db_admin_jr_helpdesk",
    L"vok_db_admin_audit_security",    L"vok_db_admin_audit_enterprise",
    L"vok_db_admin_audit_handheld",    L"vok_db_admin_audit_sr_helpdesk",
    L"vok_db_admin_audit_jr_helpdesk", nullptr,
};

namespace {

constexpr wchar_t kGroupComment[] = L"VOK QTV account";

// The message head is bounded as if formatted into a 512-character buffer.
constexpr std::size_t kMessageHeadLimit = 511;

constexpr wchar_t kAccessDenied[] = L"The user does not have access to the requested information.";

// How the messages of a group job read: the name that starts them, and the reason given when
// the platform had nothing to do.
struct GroupJob {
  const wchar_t* name;
  const wchar_t* alreadyDone;
};

constexpr GroupJob kCreate{L"AddNTGroup", L"The local group already exists."};
constexpr GroupJob kDelete{L"DeleteNTGroup", L"The local group does not exist."};

// The reason given for an outcome other than kDone: the job's words, or the platform's for
// kOther.
std::wstring Reason(const GroupJob& job, const GroupResult& result) {
  switch (result.outcome) {
    case GroupOutcome::kAlreadyDone:
      return job.alreadyDone;
    case GroupOutcome::kAccessDenied:
      return kAccessDenied;
    default:
      return result.reason;
  }
}

// Makes the platform call `call` for `group` and describes its result in `job`'s words, as
// AddNTGroup and DeleteNTGroup promise. True when the group is as the job wants it.
template <typename PlatformCall>
bool DescribeCall(const GroupJob& job, const std::wstring& group, PlatformCall call,
                  std::wstring& errorText) {
  bool done = false;
  std::wstring head;
  try {
    const GroupResult result = call();
    if (result.outcome == GroupOutcome::kDone) return true;
    done = result.outcome == GroupOutcome::kAlreadyDone;
    head = job.name + std::wstring(L" : failed : ") + Reason(job, result);
    if (head.size() > kMessageHeadLimit) head.resize(kMessageHeadLimit);
  } catch (...) {
    done = false;
    head = job.name + std::wstring(L" : unknown error");
  }
  errorText = head + L" for : " + group;
  return done;
}

// Calls `forGroup(server, group, errorText)` for every group of AdminGroupTable, in order, on
// this computer, collecting the messages. True when every call returned true.
template <typename GroupCall>
bool ForEveryGroup(GroupErrorList& errors, GroupCall forGroup) {
  bool result = true;
  const std::wstring server = ReadComputerName();
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    std::wstring errorText;
    if (!forGroup(server, *group, errorText)) result = false;
    if (!errorText.empty()) errors.push_back(errorText);
  }
  return result;
}

}  // namespace

bool AddNTGroup(const std::wstring& server, const std::wstring& group, const std::wstring& comment,
                std::wstring& errorText) {
  return DescribeCall(
      kCreate, group, [&] { return AddLocalGroup(server, group, comment); }, errorText);
}

bool CreateNTGroups(GroupErrorList& errors) {
  return ForEveryGroup(
      errors, [](const std::wstring& server, const std::wstring& group, std::wstring& errorText) {
        return AddNTGroup(server, group, kGroupComment, errorText);
      });
}

bool DeleteNTGroup(const std::wstring& server, const std::wstring& group, std::wstring& errorText) {
  return DescribeCall(
      kDelete, group, [&] { return DeleteLocalGroup(server, group); }, errorText);
}

bool DeleteNTGroups(GroupErrorList& errors) { return ForEveryGroup(errors, DeleteNTGroup); }

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
constexpr wchar_t kGroupExists[] = L"The local group already exists.";

// The reason given for an outcome other than kDone: the table's words, or the platform's for
// kOther.
std::wstring Reason(const GroupResult& result) {
  switch (result.outcome) {
    case GroupOutcome::kAlreadyDone:
      return kGroupExists;
    case GroupOutcome::kAccessDenied:
      return kAccessDenied;
    default:
      return result.reason;
  }
}

}  // namespace

bool AddNTGroup(const std::wstring& server, const std::wstring& group,
                const std::wstring& comment, std::wstring& errorText) {
  bool present = false;
  std::wstring head;
  try {
    const GroupResult result = AddLocalGroup(server, group, comment);
    if (result.outcome == GroupOutcome::kDone) return true;
    present = result.outcome == GroupOutcome::kAlreadyDone;
    head = L"AddNTGroup : failed : " + Reason(result);
    if (head.size() > kMessageHeadLimit) head.resize(kMessageHeadLimit);
  } catch (...) {
    present = false;
    head = L"AddNTGroup : unknown error";
  }
  errorText = head + L" for : " + group;
  return present;
}

bool CreateNTGroups(GroupErrorList& errors) {
  bool result = true;
  const std::wstring server = ReadComputerName();
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    std::wstring errorText;
    if (!AddNTGroup(server, *group, kGroupComment, errorText)) result = false;
    if (!errorText.empty()) errors.push_back(errorText);
  }
  return result;
}

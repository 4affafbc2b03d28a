#include "groups/groups.h"

#include <cstddef>

#include "groups/add_group.h"

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

struct KnownResult {
  unsigned long code;
  const wchar_t* reason;
  bool present;  // the group is there after the call
};

constexpr KnownResult kKnownResults[] = {
    {5, L"The user does not have access to the requested information.", false},
    {1379, L"The local group already exists.", true},
    {2223, L"The local group already exists.", true},
    {2226, L"The operation is allowed only on the primary domain controller of the domain.", false},
    {2351, L"The computer name is invalid.", false},
};

// The reason for a failed add and whether the group is there all the same. Codes that the
// table does not know keep the platform's own text, or their number when it gave none.
bool DescribeResult(unsigned long code, std::wstring& reason) {
  for (const KnownResult& known : kKnownResults) {
    if (known.code == code) {
      reason = known.reason;
      return known.present;
    }
  }
  if (reason.empty()) reason = L"error " + std::to_wstring(code);
  return false;
}

}  // namespace

bool AddNTGroup(const std::wstring& server, const std::wstring& group,
                const std::wstring& comment, std::wstring& errorText) {
  bool present = false;
  std::wstring head;
  try {
    std::wstring reason;
    const unsigned long code = AddLocalGroup(server, group, comment, reason);
    if (code == 0) return true;
    present = DescribeResult(code, reason);
    head = L"AddNTGroup : failed : " + reason;
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

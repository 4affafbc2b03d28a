#include "groups/groups.h"

const wchar_t* const AdminGroupTable[] = {
    L"vok_db_admin_security",          L"vok_db_qtv_server",
    L"vok_db_admin_enterprise",        L"vok_db_admin_handheld",
    L"vok_db_admin_sr_helpdesk",       L"vok_db_admin_jr_helpdesk",
    L"vok_db_admin_audit_security",    L"vok_db_admin_audit_enterprise",
    L"vok_db_admin_audit_handheld",    L"vok_db_admin_audit_sr_helpdesk",
    L"vok_db_admin_audit_jr_helpdesk", nullptr,
};

bool CreateNTGroups(GroupErrorList& errors) {
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    errors.push_back(std::wstring(L"AddNTGroup : failed : not available for : ") + *group);
  }
  return false;
}

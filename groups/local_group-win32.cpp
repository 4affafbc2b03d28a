// Local groups through the Windows network-management service: added with NetLocalGroupAdd,
// removed with NetLocalGroupDel.
#include <windows.h>

#include <lm.h>

#include <array>
#include <string>

#include "groups/local_group.h"

namespace {

// The system's message for `code` without its closing line end, or "error <code>" when the
// system has none.
std::wstring SystemMessage(DWORD code) {
  std::array<wchar_t, 512> buffer{};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
  std::wstring message(buffer.data(), length);
  const std::size_t end = message.find_last_not_of(L"\r\n ");
  message.erase(end == std::wstring::npos ? 0 : end + 1);
  if (message.empty()) return L"error " + std::to_wstring(code);
  return message;
}

// The words for a result that is none of the outcomes the group messages word themselves:
// NERR_NotPrimary and NERR_InvalidComputer have fixed words, anything else the system's.
std::wstring ResultWords(NET_API_STATUS code) {
  switch (code) {
    case NERR_NotPrimary:
      return L"The operation is allowed only on the primary domain controller of the domain.";
    case NERR_InvalidComputer:
      return L"The computer name is invalid.";
    default:
      return SystemMessage(code);
  }
}

// The outcome of the service's result `code`; `nothingToDo` holds the two codes with which the
// call says that the group already is as wanted.
GroupResult Outcome(NET_API_STATUS code, const std::array<NET_API_STATUS, 2>& nothingToDo) {
  if (code == NERR_Success) return {GroupOutcome::kDone, {}};
  if (code == nothingToDo[0] || code == nothingToDo[1]) return {GroupOutcome::kAlreadyDone, {}};
  if (code == ERROR_ACCESS_DENIED) return {GroupOutcome::kAccessDenied, {}};
  return {GroupOutcome::kOther, ResultWords(code)};
}

}  // namespace

GroupResult AddLocalGroup(const std::wstring& server, const std::wstring& group,
                          const std::wstring& comment) {
  // The record only points at the strings; the service copies what it keeps.
  LOCALGROUP_INFO_1 info{const_cast<wchar_t*>(group.c_str()),
                         const_cast<wchar_t*>(comment.c_str())};
  return Outcome(NetLocalGroupAdd(server.c_str(), 1, reinterpret_cast<BYTE*>(&info), nullptr),
                 {ERROR_ALIAS_EXISTS, NERR_GroupExists});
}

GroupResult DeleteLocalGroup(const std::wstring& server, const std::wstring& group) {
  return Outcome(NetLocalGroupDel(server.c_str(), group.c_str()),
                 {NERR_GroupNotFound, ERROR_NO_SUCH_ALIAS});
}

// An unreadable name yields the empty server name, which the service takes for this computer.
std::wstring ReadComputerName() {
  std::array<wchar_t, 260 + 1> buffer{};
  DWORD size = 260;
  if (!GetComputerNameW(buffer.data(), &size)) return std::wstring();
  return std::wstring(buffer.data(), size);
}

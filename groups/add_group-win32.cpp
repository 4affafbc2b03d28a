// Local groups through the Windows network-management service.
#include <windows.h>
#include <lm.h>

#include <algorithm>
#include <array>
#include <string>

#include "groups/add_group.h"

namespace {

// The codes whose words the group report chooses itself.
constexpr std::array<unsigned long, 6> kCodesWithOwnReason = {
    NERR_Success, ERROR_ACCESS_DENIED, ERROR_ALIAS_EXISTS,
    NERR_GroupExists, NERR_NotPrimary, NERR_InvalidComputer,
};

// The system's message for `code` without its closing line end, or "error <code>" when the
// system has none.
std::wstring SystemMessage(unsigned long code) {
  std::array<wchar_t, 512> buffer{};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     0, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
  std::wstring message(buffer.data(), length);
  const std::size_t end = message.find_last_not_of(L"\r\n ");
  message.erase(end == std::wstring::npos ? 0 : end + 1);
  if (message.empty()) return L"error " + std::to_wstring(code);
  return message;
}

}  // namespace

unsigned long AddLocalGroup(const std::wstring& server, const std::wstring& group,
                            const std::wstring& comment, std::wstring& reason) {
  // The record only points at the strings; the service copies what it keeps.
  LOCALGROUP_INFO_1 info{const_cast<wchar_t*>(group.c_str()),
                         const_cast<wchar_t*>(comment.c_str())};
  const NET_API_STATUS code =
      NetLocalGroupAdd(server.c_str(), 1, reinterpret_cast<BYTE*>(&info), nullptr);
  const bool hasOwnReason =
      std::find(kCodesWithOwnReason.begin(), kCodesWithOwnReason.end(), code) !=
      kCodesWithOwnReason.end();
  if (!hasOwnReason) reason = SystemMessage(code);
  return code;
}

// An unreadable name yields the empty server name, which the service takes for this computer.
std::wstring ReadComputerName() {
  std::array<wchar_t, 260 + 1> buffer{};
  DWORD size = 260;
  if (!GetComputerNameW(buffer.data(), &size)) return std::wstring();
  return std::wstring(buffer.data(), size);
}

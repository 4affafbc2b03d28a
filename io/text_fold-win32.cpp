// Case folding with Windows' own case mapping (LCMapStringEx, invariant locale, upper case then
// lower case): names read as UTF-8 when they are well-formed UTF-8, otherwise in the ANSI code
// page (MultiByteToWideChar), and given back as UTF-8.
#include <windows.h>

#include <string>

#include "io/text_fold_platform.h"

namespace {

// `name` as UTF-16, read in code page `page`; empty when it cannot be read so.
std::wstring Wide(std::string_view name, UINT page, DWORD flags) {
  const int size = static_cast<int>(name.size());
  const int length = MultiByteToWideChar(page, flags, name.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(page, flags, name.data(), size, wide.data(), length);
  return wide;
}

// Maps `text` in place with LCMapStringEx's `mapping`; simple case mappings keep its length.
bool Map(std::wstring& text, DWORD mapping) {
  std::wstring mapped(text.size(), L'\0');
  const int length =
      LCMapStringEx(LOCALE_NAME_INVARIANT, mapping, text.data(), static_cast<int>(text.size()),
                    mapped.data(), static_cast<int>(mapped.size()), nullptr, nullptr, 0);
  if (length != static_cast<int>(text.size())) return false;
  text.swap(mapped);
  return true;
}

}  // namespace

bool FoldLetters(std::string_view name, std::string& folded) {
  std::wstring wide = Wide(name, CP_UTF8, MB_ERR_INVALID_CHARS);
  if (wide.empty()) wide = Wide(name, CP_ACP, 0);
  if (wide.empty() || !Map(wide, LCMAP_UPPERCASE) || !Map(wide, LCMAP_LOWERCASE)) return false;
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  folded.assign(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, folded.data(), length, nullptr, nullptr);
  return true;
}

// Wide text leaves as UTF-8.
#include <string>

#include "cli/console.h"
#include "cli/utf8.h"

void ConsoleWrite(std::wstring_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t c : text) {
    // wchar_t holds UTF-32 here; anything outside Unicode shows as U+FFFD.
    const auto code = static_cast<char32_t>(c);
    const bool valid = code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    AppendUtf8(narrow, valid ? code : U'\uFFFD');
  }
  ConsoleWrite(std::string_view(narrow));
}

#include <cstdio>
#include <string>

#include "cli/console.h"

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void ConsoleWrite(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

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

void ConsoleWriteLine(std::string_view text) {
  ConsoleWrite(text);
  ConsoleWrite(std::string_view("\n"));
  ConsoleFlush();
}

void ConsoleFlush() {
  std::fflush(stdout);
}

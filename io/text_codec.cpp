#include "io/text_codec.h"

namespace {

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes the well-formed UTF-8 sequence at the start of `text` into `value` and returns its
// length; returns 0 when the text does not start with one.
std::size_t DecodeUtf8(std::string_view text, char32_t& value) {
  const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  std::size_t length;
  char32_t smallest;
  if (byte(0) < 0x80) {
    value = byte(0);
    return 1;
  } else if ((byte(0) & 0xE0) == 0xC0) {
    length = 2, smallest = 0x80, value = byte(0) & 0x1F;
  } else if ((byte(0) & 0xF0) == 0xE0) {
    length = 3, smallest = 0x800, value = byte(0) & 0x0F;
  } else if ((byte(0) & 0xF8) == 0xF0) {
    length = 4, smallest = 0x10000, value = byte(0) & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || IsSurrogate(value)) return 0;
  return length;
}

}  // namespace

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

std::string Utf8FromWide(std::wstring_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t c : text) {
    const auto code = static_cast<char32_t>(c);
    const bool valid = code <= 0x10FFFF && !IsSurrogate(code);
    AppendUtf8(narrow, valid ? code : U'\uFFFD');
  }
  return narrow;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (std::size_t i = 0; i < text.size() && text[i] != u'\0'; ++i) {
    char32_t c = text[i];
    if (IsSurrogate(c)) {
      const bool paired =
          c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      c = paired ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00) : 0xFFFD;
    }
    AppendUtf8(narrow, c);
  }
  return narrow;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0xFFFD;
    const std::size_t length = DecodeUtf8(text, c);
    AppendUtf16(wide, length == 0 ? 0xFFFD : c);
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return wide;
}

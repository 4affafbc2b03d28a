// The program's one text codec. Narrow text is UTF-8 on POSIX; the ODBC wide calls take and
// give UTF-16 (SQLWCHAR is 16 bits wide under unixODBC), and wchar_t holds UTF-32.
#pragma once

#include <string>
#include <string_view>

// Appends the UTF-8 form of the code point `c`, which must be a Unicode scalar value.
void AppendUtf8(std::string& out, char32_t c);

// Converts UTF-32 wide text to UTF-8; a value that is not a Unicode scalar value becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

// Converts UTF-16 to UTF-8, stopping at the first NUL character. A surrogate that is not part
// of a high-low pair becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

// Converts UTF-8 to UTF-16. Each byte that does not begin a well-formed sequence (a stray
// continuation byte, an overlong form, an encoded surrogate, a value past U+10FFFF, a cut-off
// sequence) becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);

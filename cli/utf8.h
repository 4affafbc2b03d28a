// UTF-8, the narrow encoding of the program's text on POSIX.
#pragma once

#include <string>

// Appends the UTF-8 form of the code point `c`, which must be a Unicode scalar value.
void AppendUtf8(std::string& out, char32_t c);

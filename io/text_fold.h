// Names compared as SQL Server's case-insensitive collations compare them: folded to lower case
// letter by letter, not A-Z only, so that the database's "MÜNZE" and a script's "mÜnze" meet.
#pragma once

#include <string>
#include <string_view>

// The key under which two names that differ only in the case of their letters compare equal.
// Names of ASCII bytes only have A-Z lower-cased. Other names are read as UTF-8 when they are
// well-formed UTF-8, and otherwise as the system's narrow code page (Windows' ANSI code page; on
// POSIX, where narrow text is UTF-8, such a name keeps its bytes from 0x80 as they are), and
// every letter is folded with the platform's case mapping: upper case first, then lower case,
// which is Unicode's simple case folding for all but the dotless and the dotted I (ı and İ,
// which fold to i as well). On Windows the key is UTF-8, so that a UTF-8 script and the names
// the database gives in the ANSI code page meet.
std::string CaseFoldedName(std::string_view name);

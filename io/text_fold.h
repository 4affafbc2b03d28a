// Names compared as SQL Server's case-insensitive collations compare them: folded to lower case
// letter by letter, not A-Z only, so that the database's "MÜNZE" and a script's "mÜnze" meet.
#pragma once

#include <string>
#include <string_view>

// The key under which two names that differ only in the case of their letters compare equal.
// Names of ASCII bytes only have A-Z lower-cased. Other names are read as UTF-8 when they are
// well-formed UTF-8, and otherwise as the system's narrow code page (Windows' ANSI code page; on
// POSIX, where narrow text is UTF-8, such a name keeps its bytes from 0x80 as they are), and
// every letter is mapped to upper case and then to lower case with the platform's own mapping.
// On POSIX (glibc's) that is Unicode's simple case folding but for the dotless and the dotted I
// (ı and İ), which meet i as well; Windows' tables (as Wine has them) leave the final sigma, the
// micro sign, the long s and the capital sharp s as they are. On Windows the key is UTF-8, so
// that a UTF-8 script and the names the database gives in the ANSI code page meet.
std::string CaseFoldedName(std::string_view name);

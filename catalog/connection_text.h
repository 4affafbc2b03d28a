// Texts around a connection: the attributes of a connection string, and a driver's diagnostic
// made into the one line that the administrator sees, without the password.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "io/status.h"

// Calls `visit` with the keyword (blanks around it cut) and the value of each attribute of
// `connectionString`, "keyword=value" pairs separated by ";". A value may stand within braces,
// where "}}" stands for "}", or within double or single quotes, where a doubled quote stands for
// one; the value passed is what stands between them. An attribute without "=" is skipped.
void ForEachAttribute(
    std::string_view connectionString,
    const std::function<void(std::string_view keyword, std::string_view value)>& visit);

// True when `keyword` is `upperName` in any case ("pwd" is "PWD").
bool IsKeyword(std::string_view keyword, std::string_view upperName);

// `text` as one line with no password in it: each line end, with the blanks and tabs around
// it, becomes one blank, blanks at either end are cut, and each place where a password shows
// becomes "***": the value of a PWD or PASSWORD attribute of `connectionString` wherever it
// stands, and whatever follows "PWD=" or "PASSWORD=" in `text` up to the next ";".
std::string DiagnosticLine(std::string_view text, std::string_view connectionString);

// The failure of a database call: kDatabaseError with "<what>: <DiagnosticLine(message)>",
// followed by " (<code>)" when the driver gave a code (its SQLSTATE, or a COM result).
Status DatabaseFailure(std::string_view what, std::string_view message, std::string_view code,
                       std::string_view connectionString);

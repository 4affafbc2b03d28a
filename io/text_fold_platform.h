// The platform's part of CaseFoldedName (io/text_fold-posix.cpp, io/text_fold-win32.cpp).
#pragma once

#include <string>
#include <string_view>

// Folds the letters of `name`, which holds a byte from 0x80, into `folded` (see
// CaseFoldedName). False when the platform cannot read it as text; the caller then lower-cases
// A-Z only.
bool FoldLetters(std::string_view name, std::string& folded);

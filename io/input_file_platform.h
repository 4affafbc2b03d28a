// What each platform's input file (input_file-posix.cpp, input_file-win32.cpp) gives the shared
// part (input_file.cpp), and what the shared part gives them.
#pragma once

#include <string>
#include <string_view>

#include "io/input_file.h"

// The state of the file `path` names now. False when it cannot be read (the file is gone).
bool InputFileStateAt(const std::string& path, InputFileState& state);

// kReadError, "cannot read '<path>': <reason>".
Status UnreadableInput(const std::string& path, std::string_view reason);

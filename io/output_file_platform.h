// What each platform's output file (output_file-posix.cpp, output_file-win32.cpp) gives the
// shared part (output_file.cpp), which allows one output file at a time.
#pragma once

#include <string>

#include "io/output_file.h"

// A new output file, not yet open.
OutputFile* NewOutputFile();

// Opens `file` for `path` as OpenOutputFile says. False, with the reason in OutputFileError,
// when the path cannot take it.
bool OpenOutputFileAt(OutputFile& file, const std::string& path);

// Closes `file`, removes its temporary file unless it was committed, and frees it.
void DeleteOutputFile(OutputFile* file) noexcept;

// An input file, read whole and kept unchanged while it is used.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "io/status.h"

// Gives back the memory of a whole input file.
struct InputMemoryDeleter {
  std::size_t mapped = 0;  // the bytes of a mapping of the file; 0 for memory of the heap
  void operator()(const char* bytes) const noexcept;
};
using InputMemory = std::unique_ptr<const char[], InputMemoryDeleter>;

struct InputFile {
  InputMemory bytes;
  std::size_t size = 0;
  std::string_view Text() const { return std::string_view(bytes.get(), size); }
};

// Reads the regular file at `path` whole into `file`. On POSIX the file is mapped, read-only,
// so that its pages are used where the system caches them, without a copy or fresh memory;
// where it cannot be (or another input is mapped), it is read into memory of the heap. Fails
// when the file cannot be opened, is not a regular file (a directory, a pipe) or cannot be
// read to its end: kReadError, "cannot read '<path>': <why>". Throws std::bad_alloc when there
// is no memory for it.
Status ReadInputFile(const std::string& path, InputFile& file);

// Whether the file became shorter while it was mapped: its bytes past the new end then read as
// zeros (where the system would otherwise end the process), and the text is not the file's.
// False for a file read into memory, which has all its bytes.
bool InputFileChanged(const InputFile& file);

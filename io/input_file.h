// An input file read whole into memory of its own, which the caller may change.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Frees the memory of a whole input file.
struct InputMemoryDeleter {
  std::size_t mapped = 0;  // how much was set aside, on platforms that map it
  void operator()(char* bytes) const noexcept;
};
using InputMemory = std::unique_ptr<char[], InputMemoryDeleter>;

struct InputFile {
  InputMemory bytes;
  std::size_t size = 0;
  std::string_view Text() const { return std::string_view(bytes.get(), size); }
};

// Reads the regular file at `path` whole into `file`, handing each piece to `eachPiece` right
// after it arrived, while it is still in the processor's cache. On POSIX the memory is set
// aside in huge pages where the system offers them, so that filling it costs few page faults.
// False when the file cannot be opened, is not a regular file (a directory, a pipe) or cannot
// be read to its end. Throws std::bad_alloc when there is no memory for it.
bool ReadInputFile(const std::string& path, InputFile& file, void (*eachPiece)(char* bytes, std::size_t size));

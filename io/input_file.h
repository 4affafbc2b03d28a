// An input file, read whole, and a check that it stayed as it was while it was used.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Which file a path named and how it was: its identity (device and inode, or volume and file
// index), its size and its modification and change times.
struct InputFileState {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // in the platform's own units
  std::int64_t changed = 0;
  bool operator==(const InputFileState&) const = default;
};

struct InputFile {
  InputMemory bytes;
  std::size_t size = 0;
  std::string path;
  InputFileState opened;  // as the file was when it was opened
  std::string_view Text() const { return std::string_view(bytes.get(), size); }
};

// Reads the regular file at `path` whole into `file`. On POSIX the file is mapped, read-only,
// so that its pages are used where the system caches them, without a copy or fresh memory;
// where it cannot be (or another input is mapped), it is read into memory of the heap. The
// file is opened without waiting: a FIFO without a writer, a socket or a device is refused at
// once, as is any file that is not a regular one (a directory) and, on POSIX, the file that
// standard input reads (it holds the connection line). Fails, when the file cannot be opened
// or read to its end or is refused: kReadError, "cannot read '<path>': <why>". Throws
// std::bad_alloc when there is no memory for it.
//
// A mapped file that becomes shorter meanwhile reads as zeros past its new end (where the
// system would otherwise end the process); CheckInputFileUnchanged then fails.
Status ReadInputFile(const std::string& path, InputFile& file);

// To be called once the last byte of the text has been used: ok when the path still names the
// file that was opened, with the same size and modification and change times. Otherwise the
// text may mix the file's old and new bytes: kReadError, "cannot read '<path>': the file
// changed while it was read".
Status CheckInputFileUnchanged(const InputFile& file);

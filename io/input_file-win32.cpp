// Input files on Windows: read through the C++ library into memory of the heap, which no
// later change of the file reaches.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "io/input_file.h"

namespace {

constexpr std::size_t kPiece = std::size_t{128} << 10;

}  // namespace

void InputMemoryDeleter::operator()(const char* bytes) const noexcept { delete[] bytes; }

bool ReadInputFile(const std::string& path, InputFile& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) return false;
  file.size = static_cast<std::size_t>(size);
  char* const bytes = new char[file.size];  // not zeroed: the file's bytes overwrite it
  file.bytes = InputMemory(bytes);
  for (std::size_t done = 0; done < file.size;) {
    const std::size_t count = std::min(kPiece, file.size - done);
    in.read(bytes + done, static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(in.gcount()) != count) return false;
    done += count;
  }
  return true;
}

bool InputFileChanged(const InputFile&) { return false; }

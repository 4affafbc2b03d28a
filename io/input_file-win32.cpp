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

Status ReadInputFile(const std::string& path, InputFile& file) {
  const auto unreadable = [&path](const std::string& reason) {
    return Status::Error(Status::Code::kReadError, "cannot read '" + path + "': " + reason);
  };
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) return unreadable(error.message());
  if (std::filesystem::is_directory(status)) return unreadable("it is a directory");
  if (!std::filesystem::is_regular_file(status)) return unreadable("not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return unreadable("it cannot be opened");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) return unreadable("its size cannot be read");
  file.size = static_cast<std::size_t>(size);
  char* const bytes = new char[file.size];  // not zeroed: the file's bytes overwrite it
  file.bytes = InputMemory(bytes);
  for (std::size_t done = 0; done < file.size;) {
    const std::size_t count = std::min(kPiece, file.size - done);
    in.read(bytes + done, static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(in.gcount()) != count)
      return unreadable("it cannot be read whole");
    done += count;
  }
  return Status::Ok();
}

bool InputFileChanged(const InputFile&) { return false; }

// Input files on Windows: read through the C++ library into memory of the heap.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "io/input_file.h"
#include "io/input_file_platform.h"

namespace {

constexpr std::size_t kPiece = std::size_t{128} << 10;

std::int64_t Ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

}  // namespace

void InputMemoryDeleter::operator()(const char* bytes) const noexcept { delete[] bytes; }

Status ReadInputFile(const std::string& path, InputFile& file) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) return UnreadableInput(path, error.message());
  if (std::filesystem::is_directory(status)) return UnreadableInput(path, "it is a directory");
  if (!std::filesystem::is_regular_file(status)) return UnreadableInput(path, "not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return UnreadableInput(path, "it cannot be opened");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) return UnreadableInput(path, "its size cannot be read");
  file.path = path;
  if (!InputFileStateAt(path, file.opened))
    return UnreadableInput(path, "its state cannot be read");
  file.size = static_cast<std::size_t>(size);
  char* const bytes = new char[file.size];  // not zeroed: the file's bytes overwrite it
  file.bytes = InputMemory(bytes);
  for (std::size_t done = 0; done < file.size;) {
    const std::size_t count = std::min(kPiece, file.size - done);
    in.read(bytes + done, static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(in.gcount()) != count)
      return UnreadableInput(path, "it cannot be read whole");
    done += count;
  }
  return Status::Ok();
}

bool InputFileStateAt(const std::string& path, InputFileState& state) {
  const HANDLE handle =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  FILE_BASIC_INFO basic;
  const bool read = GetFileInformationByHandle(handle, &information) &&
                    GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic);
  CloseHandle(handle);
  if (!read) return false;
  state.device = information.dwVolumeSerialNumber;
  state.inode =
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  state.size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  state.modified = Ticks(information.ftLastWriteTime);
  state.changed = basic.ChangeTime.QuadPart;
  return true;
}

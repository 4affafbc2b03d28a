// The output file on Windows: a new file beside the path, FlushFileBuffers, then MoveFileExW
// with replace and write-through.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>

#include "io/console.h"
#include "io/output_file_platform.h"

struct OutputTarget {
  std::string path;  // as the caller named it
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool ownsHandle = true;  // false when the handle is standard output's
  std::wstring target;     // the file a temporary one replaces
  std::wstring temporary;  // empty when the path is written directly
  DWORD keptAttributes = 0;
  Status failure;  // the first failed step; the file cannot be committed after it
  bool committed = false;
};

namespace {

// The temporary file that Ctrl-C or Ctrl-Break removes. The console's handler runs on a thread
// of its own: whichever side takes the flag first deals with the file.
wchar_t gTemporaryPath[32768];
volatile LONG gTemporaryArmed = 0;

BOOL WINAPI RemoveTemporaryOnBreak(DWORD) {
  // Opened with FILE_SHARE_DELETE, the file goes when its handle closes as the process ends.
  if (InterlockedExchange(&gTemporaryArmed, 0) != 0) DeleteFileW(gTemporaryPath);
  return FALSE;  // the next handler ends the process, as it would have
}

std::string SystemError(const std::string& what) {
  return what + " (Windows error " + std::to_string(GetLastError()) + ")";
}

std::wstring Wide(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
  return wide;
}

std::wstring DirectoryOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// A handle that closes itself.
struct Probe {
  HANDLE handle;
  ~Probe() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

// The file a path reaches once links are followed, from a handle open on it.
std::wstring FinalPath(HANDLE handle, const std::wstring& path) {
  std::wstring name(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), 0);
  if (length == 0 || length >= name.size()) return path;
  name.resize(length);
  return name;
}

Status Fail(OutputTarget& file, const std::string& reason) {
  file.failure = UnwritableOutput(file.path, reason);
  return file.failure;
}

Status CreateTemporary(OutputTarget& file) {
  const std::wstring directory = DirectoryOf(file.target);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const unsigned long long seed = (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                                    GetTickCount64() ^ (attempt * 0x9E3779B97F4A7C15ull);
    wchar_t suffix[7];
    for (int i = 0; i < 6; ++i)
      suffix[i] = L"0123456789abcdefghijklmnopqrstuvwxyz"[(seed >> (6 * i)) % 36];
    suffix[6] = L'\0';
    const std::wstring name = directory + L".qtvdbadmin-" + suffix;
    if (name.size() >= std::size(gTemporaryPath)) break;
    file.handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle != INVALID_HANDLE_VALUE) {
      file.temporary = name;
      name.copy(gTemporaryPath, name.size());
      gTemporaryPath[name.size()] = L'\0';
      InterlockedExchange(&gTemporaryArmed, 1);
      SetConsoleCtrlHandler(RemoveTemporaryOnBreak, TRUE);
      return Status::Ok();
    }
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return Fail(file, SystemError("cannot create a file beside the output"));
}

// Removes the temporary file unless it was renamed or Ctrl-C removed it.
void Discard(OutputTarget& file) {
  if (file.temporary.empty()) return;
  if (InterlockedExchange(&gTemporaryArmed, 0) != 0) DeleteFileW(file.temporary.c_str());
  SetConsoleCtrlHandler(RemoveTemporaryOnBreak, FALSE);
  file.temporary.clear();
}

Status CommitTemporary(OutputTarget& file) {
  if (!FlushFileBuffers(file.handle)) return Fail(file, SystemError("cannot flush the new file"));
  CloseHandle(file.handle);
  file.handle = INVALID_HANDLE_VALUE;
  if (file.keptAttributes != 0) SetFileAttributesW(file.temporary.c_str(), file.keptAttributes);
  if (InterlockedExchange(&gTemporaryArmed, 0) == 0) return Fail(file, "interrupted");
  if (!MoveFileExW(file.temporary.c_str(), file.target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    InterlockedExchange(&gTemporaryArmed, 1);  // Discard removes it
    return Fail(file, SystemError("cannot replace the output"));
  }
  Discard(file);
  return Status::Ok();
}

}  // namespace

Status OpenOutputTarget(OutputTarget& file) {
  const std::wstring path = Wide(file.path);
  file.target = path;
  const Probe probe{CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  if (probe.handle == INVALID_HANDLE_VALUE) return CreateTemporary(file);  // a new file
  if (SameFile(probe.handle, GetStdHandle(STD_OUTPUT_HANDLE))) {
    ConsoleFlush();  // what the console wrote comes first
    file.handle = GetStdHandle(STD_OUTPUT_HANDLE);
    file.ownsHandle = false;
    return Status::Ok();
  }
  if (GetFileType(probe.handle) != FILE_TYPE_DISK) {  // a device or a pipe: written directly
    file.handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE)
      return Fail(file, SystemError("cannot open the output"));
    return Status::Ok();
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return Fail(file, "the output is a directory");
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    return Fail(file, "the output is read-only");
  file.target = FinalPath(probe.handle, path);
  file.keptAttributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  return CreateTemporary(file);
}

OutputTarget* NewOutputTarget(const std::string& path) {
  OutputTarget* const file = new OutputTarget;
  file->path = path;
  return file;
}

void CloseOutputTarget(OutputTarget* file) noexcept {
  if (file->handle != INVALID_HANDLE_VALUE && file->ownsHandle) CloseHandle(file->handle);
  Discard(*file);
  delete file;
}

// Writes all of `bytes` before it returns.
Status StartOutputTargetWrite(OutputTarget& file, std::string_view bytes) {
  if (!file.failure.ok()) return file.failure;
  while (!bytes.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.handle, bytes.data(), piece, &written, nullptr) || written == 0) {
      return Fail(file, SystemError("cannot write the output"));
    }
    bytes.remove_prefix(written);
  }
  return Status::Ok();
}

Status CommitOutputTarget(OutputTarget& file) {
  if (!file.failure.ok() || file.committed) return file.failure;
  if (!file.temporary.empty()) {
    Status committed = CommitTemporary(file);
    if (!committed.ok()) return committed;
  } else if (file.ownsHandle) {
    CloseHandle(file.handle);
    file.handle = INVALID_HANDLE_VALUE;
  }
  file.committed = true;
  return Status::Ok();
}

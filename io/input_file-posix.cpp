// Input files on POSIX systems: mapped read-only, so that the scan reads the system's cached
// pages of the file in place; read() into memory of the heap where a mapping is not possible.
// Whether the file changed meanwhile is told by its state (input_file.cpp), not by the mapping.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "io/input_file.h"
#include "io/input_file_platform.h"

namespace {

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// The one mapped input file that the SIGBUS handler knows: a page of it that the file no longer
// has (it was truncated meanwhile) is replaced with a page of zeros, so that the scan reads on
// and the file's changed state refuses the text afterwards. Set before the handler is installed
// and cleared after it is removed.
std::atomic<const char*> gMappedStart{nullptr};
std::atomic<std::size_t> gMappedSize{0};
std::size_t gPageSize = 0;
struct sigaction gPreviousBusAction;

extern "C" void ZeroMissingPage(int, siginfo_t* info, void*) {
  const char* const start = gMappedStart.load();
  const auto* const at = static_cast<const char*>(info->si_addr);
  if (start != nullptr && at >= start && at < start + gMappedSize.load()) {
    void* const page = const_cast<char*>(start) + (at - start) / gPageSize * gPageSize;
    if (mmap(page, gPageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      return;  // the read is made again, and finds zeros
    }
  }
  // Not the input's: the action before, which meets the fault when the read is made again.
  sigaction(SIGBUS, &gPreviousBusAction, nullptr);
}

// Maps the file read-only, with its pages looked up at once. Null when it cannot be mapped, or
// another input file is mapped.
const char* MapFile(int fd, std::size_t size) {
  if (gMappedStart.load() != nullptr) return nullptr;
  void* const start = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  if (start == MAP_FAILED) return nullptr;
  gPageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  gMappedSize = size;
  gMappedStart = static_cast<const char*>(start);
  struct sigaction action {};
  action.sa_sigaction = ZeroMissingPage;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &gPreviousBusAction);
  return static_cast<const char*>(start);
}

// Why the input at `path` cannot be read: `reason`, or the system's words for errno.
Status Unreadable(const std::string& path, const char* reason = nullptr) {
  return UnreadableInput(path, reason ? reason : std::strerror(errno));
}

InputFileState StateOf(const struct stat& status) {
  const auto nanoseconds = [](const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
  };
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
          static_cast<std::uint64_t>(status.st_size), nanoseconds(status.st_mtim),
          nanoseconds(status.st_ctim)};
}

// Whether `status` is that of the file standard input reads.
bool IsStandardInput(const struct stat& status) {
  struct stat input;
  return fstat(STDIN_FILENO, &input) == 0 && input.st_dev == status.st_dev &&
         input.st_ino == status.st_ino;
}

Status ReadIntoMemory(int fd, const std::string& path, InputFile& file) {
  char* const bytes = new char[file.size];  // not zeroed: the file's bytes overwrite it
  file.bytes = InputMemory(bytes);
  for (std::size_t done = 0; done < file.size;) {
    const ssize_t got = read(fd, bytes + done, file.size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Unreadable(path);
    if (got == 0) return Unreadable(path, "the file became shorter while it was read");
    done += static_cast<std::size_t>(got);
  }
  return Status::Ok();
}

}  // namespace

void InputMemoryDeleter::operator()(const char* bytes) const noexcept {
  if (mapped == 0) {
    delete[] bytes;
    return;
  }
  sigaction(SIGBUS, &gPreviousBusAction, nullptr);
  gMappedStart = nullptr;
  munmap(const_cast<char*>(bytes), mapped);
}

Status ReadInputFile(const std::string& path, InputFile& file) {
  // Without O_NONBLOCK a FIFO that no one writes would keep the open waiting for ever; for a
  // regular file the flag changes nothing.
  const Descriptor in{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  struct stat status;
  if (in.fd < 0 || fstat(in.fd, &status) != 0) return Unreadable(path);
  if (S_ISDIR(status.st_mode)) return Unreadable(path, std::strerror(EISDIR));
  if (!S_ISREG(status.st_mode)) return Unreadable(path, "not a regular file");
  // Read from its start, the file standard input reads would give its connection line too.
  if (IsStandardInput(status)) return Unreadable(path, "it is the file standard input reads");
  file.path = path;
  file.opened = StateOf(status);
  file.size = static_cast<std::size_t>(status.st_size);
  if (file.size == 0) return Status::Ok();
  if (const char* const mapped = MapFile(in.fd, file.size)) {
    file.bytes = InputMemory(mapped, InputMemoryDeleter{file.size});
    return Status::Ok();
  }
  return ReadIntoMemory(in.fd, path, file);
}

bool InputFileStateAt(const std::string& path, InputFileState& state) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return false;
  state = StateOf(status);
  return true;
}

// Input files on POSIX systems: read() in pieces that fit the processor's cache, into anonymous
// memory that asks for transparent huge pages.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <new>

#include "io/input_file.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Small enough to be still in the cache when it is handed on, large enough for few calls.
constexpr std::size_t kPiece = std::size_t{128} << 10;

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// `size` bytes (rounded up to whole huge pages) starting at a huge-page boundary, so that the
// system may back all of it with huge pages.
InputMemory MapMemory(std::size_t size) {
  const std::size_t mapped = (size + kHugePage - 1) / kHugePage * kHugePage;
  void* start = mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) throw std::bad_alloc();
  char* const raw = static_cast<char*>(start);
  const std::size_t lead = (kHugePage - reinterpret_cast<std::uintptr_t>(raw) % kHugePage) % kHugePage;
  if (lead > 0) munmap(raw, lead);
  if (kHugePage - lead > 0) munmap(raw + lead + mapped, kHugePage - lead);
  madvise(raw + lead, mapped, MADV_HUGEPAGE);  // a hint; without it the pages are small
  return InputMemory(raw + lead, InputMemoryDeleter{mapped});
}

}  // namespace

void InputMemoryDeleter::operator()(char* bytes) const noexcept {
  if (mapped > 0) munmap(bytes, mapped);
}

bool ReadInputFile(const std::string& path, InputFile& file, void (*eachPiece)(char*, std::size_t)) {
  const Descriptor in{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat status;
  if (in.fd < 0 || fstat(in.fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  file.size = static_cast<std::size_t>(status.st_size);
  if (file.size == 0) return true;
  file.bytes = MapMemory(file.size);
  for (std::size_t done = 0; done < file.size;) {
    const std::size_t wanted = std::min(kPiece, file.size - done);
    const ssize_t got = read(in.fd, file.bytes.get() + done, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // an error, or the file became shorter
    eachPiece(file.bytes.get() + done, static_cast<std::size_t>(got));
    done += static_cast<std::size_t>(got);
  }
  return true;
}

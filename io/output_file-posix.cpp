// The output file on POSIX systems: mkstemp beside the path, fsync, rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "io/console.h"
#include "io/output_file_platform.h"

struct OutputTarget {
  ~OutputTarget();

  std::string path;  // as the caller named it
  int fd = -1;
  bool ownsFd = true;     // false when fd is standard output
  std::string target;     // the file a temporary one replaces
  std::string temporary;  // empty when the path is written directly
  Status failure;         // the first failed step; the file cannot be committed after it
  bool committed = false;
  std::size_t written = 0;      // bytes written so far
  std::size_t writtenBack = 0;  // of those, the ones the disk was asked to take already
  bool direct = false;          // whether O_DIRECT is set on fd
  bool directRefused = false;   // the file system takes no direct writes
  std::thread writer;           // a write started by StartOutputFileWrite; while it runs, it
                                // alone uses the fields above
};

namespace {

// The temporary file that a signal removes. Set and cleared with the signals blocked, read by
// the handler, which calls nothing but unlink and raise.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
char gTemporaryPath[PATH_MAX];
volatile std::sig_atomic_t gTemporaryArmed = 0;
struct sigaction gPreviousActions[std::size(kCleanupSignals)];
bool gHandlerInstalled[std::size(kCleanupSignals)];

extern "C" void RemoveTemporaryAndEnd(int signal) {
  if (gTemporaryArmed) unlink(gTemporaryPath);
  // The handler was installed with SA_RESETHAND | SA_NODEFER: the signal's own action is the
  // default again and it is not blocked, so raising it ends the process as it would have.
  raise(signal);
}

sigset_t CleanupSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kCleanupSignals) sigaddset(&set, signal);
  return set;
}

// Holds the cleanup signals back for its lifetime; one that arrives meanwhile is delivered after.
class SignalsHeld {
 public:
  SignalsHeld() {
    const sigset_t set = CleanupSignalSet();
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// Installs the handler for each cleanup signal whose action is the default one: a signal that
// the process ignores stays ignored (a run under nohup), one with a handler keeps it.
void InstallCleanupHandlers() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporaryAndEnd;
  action.sa_mask = CleanupSignalSet();
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
    gHandlerInstalled[i] = false;
    if (sigaction(kCleanupSignals[i], nullptr, &gPreviousActions[i]) != 0) continue;
    if (gPreviousActions[i].sa_handler != SIG_DFL ||
        (gPreviousActions[i].sa_flags & SA_SIGINFO) != 0)
      continue;
    gHandlerInstalled[i] = sigaction(kCleanupSignals[i], &action, nullptr) == 0;
  }
}

void RestoreSignalActions() {
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
    if (gHandlerInstalled[i]) sigaction(kCleanupSignals[i], &gPreviousActions[i], nullptr);
    gHandlerInstalled[i] = false;
  }
}

// The system's words for errno, after `step` when the failing step needs naming.
std::string SystemError(const std::string& step = "") {
  return step.empty() ? std::strerror(errno) : step + ": " + std::strerror(errno);
}

// The directory part of `path`, with its last slash; empty for a name in the working directory.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

Status Fail(OutputTarget& file, const std::string& reason) {
  file.failure = UnwritableOutput(file.path, reason);
  return file.failure;
}

// The file that writing to `path` reaches: symbolic links are followed, a dangling one to the
// name it holds. False after 40 links, as the system counts a loop.
bool FollowLinks(std::string path, std::string& target, std::string& error) {
  for (int links = 0; links < 40; ++links) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      target = path;
      return true;
    }
    std::vector<char> name(PATH_MAX + 1);
    const ssize_t length = readlink(path.c_str(), name.data(), name.size());
    if (length < 0 || static_cast<std::size_t>(length) >= name.size()) {
      error = SystemError("cannot read the symbolic link '" + path + "'");
      return false;
    }
    const std::string linked(name.data(), static_cast<std::size_t>(length));
    path = linked.starts_with('/') ? linked : DirectoryOf(path) + linked;
  }
  errno = ELOOP;
  error = SystemError();
  return false;
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Gives the temporary file the mode and, where allowed, the owner of the file it replaces.
void TakeOverAttributes(int fd, const struct stat* replaced) {
  if (replaced == nullptr) {
    fchmod(fd, NewFileMode());
    return;
  }
  struct stat own;
  if (fstat(fd, &own) == 0 && (own.st_uid != replaced->st_uid || own.st_gid != replaced->st_gid)) {
    // Refused unless root (or the group is one of the caller's); the file is then the caller's.
    [[maybe_unused]] const int ignored = fchown(fd, replaced->st_uid, replaced->st_gid);
  }
  fchmod(fd, replaced->st_mode & 07777);  // after fchown, which clears set-user-ID bits
}

// Creates the temporary file beside `file.target` and arms the signal cleanup for it.
Status CreateTemporary(OutputTarget& file, const struct stat* replaced) {
  std::string name = DirectoryOf(file.target) + ".qtvdbadmin-XXXXXX";
  if (name.size() >= sizeof gTemporaryPath) {
    errno = ENAMETOOLONG;
    return Fail(file, SystemError());
  }
  InstallCleanupHandlers();
  {
    const SignalsHeld held;
    file.fd = mkostemp(name.data(), O_CLOEXEC);
    if (file.fd >= 0) {
      std::memcpy(gTemporaryPath, name.c_str(), name.size() + 1);
      gTemporaryArmed = 1;
    }
  }
  if (file.fd < 0) {
    Status failed = Fail(file, SystemError());
    RestoreSignalActions();
    return failed;
  }
  file.temporary = name;
  TakeOverAttributes(file.fd, replaced);
  return Status::Ok();
}

// Opens a path that exists and is not a regular file, for writing in place.
Status OpenDirectly(OutputTarget& file, const std::string& path) {
  file.fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
  return file.fd >= 0 ? Status::Ok() : Fail(file, SystemError());
}

// Removes the temporary file unless it was renamed, and gives the signals their actions back.
void Discard(OutputTarget& file) {
  if (file.temporary.empty()) return;
  {
    const SignalsHeld held;
    if (gTemporaryArmed) unlink(file.temporary.c_str());
    gTemporaryArmed = 0;
  }
  RestoreSignalActions();
  file.temporary.clear();
}

// Makes the rename itself last: a failure here leaves a complete output, so it is not reported.
void SyncDirectoryOf(const std::string& path) {
  const std::string directory = DirectoryOf(path);
  const int fd =
      open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

Status CommitTemporary(OutputTarget& file) {
  if (fsync(file.fd) != 0) return Fail(file, SystemError("cannot sync the new file"));
  const int closed = close(file.fd);
  file.fd = -1;
  if (closed != 0) return Fail(file, SystemError("cannot close the new file"));
  {
    const SignalsHeld held;
    if (rename(file.temporary.c_str(), file.target.c_str()) != 0) {
      return Fail(file, SystemError("cannot rename the new file over it"));
    }
    gTemporaryArmed = 0;
  }
  Discard(file);
  SyncDirectoryOf(file.target);
  return Status::Ok();
}

// Asks the disk to take what was written to a temporary file while the rest is being made, so
// that the sync before the rename has little left to wait for. Only a hint: errors show at the
// sync.
void StartWriteBack(OutputTarget& file) {
  constexpr std::size_t kWriteBackStep = std::size_t{8} << 20;
  if (file.temporary.empty() || file.written - file.writtenBack < kWriteBackStep) return;
  sync_file_range(file.fd, static_cast<off_t>(file.writtenBack),
                  static_cast<off_t>(file.written - file.writtenBack), SYNC_FILE_RANGE_WRITE);
  file.writtenBack = file.written;
}

void FinishStartedWrite(OutputTarget& file) {
  if (file.writer.joinable()) file.writer.join();
}

// Whether `bytes` can go to the file past the page cache: whole blocks of memory, from a block
// boundary of a temporary file (which is synced before the rename anyway, so that copying it
// into the cache first would only cost time).
bool CanWriteDirect(const OutputTarget& file, std::string_view bytes) {
  return !file.temporary.empty() && !file.directRefused && bytes.size() >= kOutputFileAlignment &&
         reinterpret_cast<std::uintptr_t>(bytes.data()) % kOutputFileAlignment == 0 &&
         file.written % kOutputFileAlignment == 0;
}

// Sets or clears O_DIRECT. False when the file system refuses to set it.
bool SetDirect(OutputTarget& file, bool direct) {
  if (file.direct == direct) return true;
  const int flags = fcntl(file.fd, F_GETFL);
  if (flags < 0 || fcntl(file.fd, F_SETFL, direct ? flags | O_DIRECT : flags & ~O_DIRECT) != 0)
    return false;
  file.direct = direct;
  return true;
}

// Writes all of `bytes`; a refusal fails the file.
Status WriteAll(OutputTarget& file, std::string_view bytes) {
  while (!bytes.empty()) {
    bool direct = CanWriteDirect(file, bytes);
    if (direct && !SetDirect(file, true)) {
      file.directRefused = true;
      direct = false;
    }
    if (!direct && !SetDirect(file, false)) return Fail(file, SystemError());
    const std::size_t count =
        direct ? bytes.size() - bytes.size() % kOutputFileAlignment : bytes.size();
    const ssize_t written = write(file.fd, bytes.data(), count);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EINVAL && file.direct) {  // not these bytes: through the cache
      file.directRefused = true;
      continue;
    }
    if (written <= 0) return Fail(file, SystemError());
    bytes.remove_prefix(static_cast<std::size_t>(written));
    file.written += static_cast<std::size_t>(written);
  }
  StartWriteBack(file);
  return Status::Ok();
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

Status OpenAt(OutputTarget& file) {
  const std::string& path = file.path;
  struct stat status;
  const bool exists = stat(path.c_str(), &status) == 0;
  struct stat standardOutput;
  file.target = path;
  if (exists && fstat(STDOUT_FILENO, &standardOutput) == 0 && SameFile(status, standardOutput)) {
    ConsoleFlush();  // what the console wrote comes first
    file.fd = STDOUT_FILENO;
    file.ownsFd = false;
    return Status::Ok();
  }
  if (exists && S_ISDIR(status.st_mode)) {
    errno = EISDIR;
    return Fail(file, SystemError());
  }
  if (exists && !S_ISREG(status.st_mode)) return OpenDirectly(file, path);
  std::string error;
  if (!FollowLinks(path, file.target, error)) return Fail(file, error);
  if (exists && faccessat(AT_FDCWD, file.target.c_str(), W_OK, AT_EACCESS) != 0)
    return Fail(file, SystemError());
  return CreateTemporary(file, exists ? &status : nullptr);
}

}  // namespace

OutputTarget::~OutputTarget() {
  FinishStartedWrite(*this);
  if (fd >= 0 && ownsFd) close(fd);
  Discard(*this);
}

Status OpenOutputTarget(const std::string& path, OutputTarget*& opened) {
  auto file = std::make_unique<OutputTarget>();
  file->path = path;
  Status status = OpenAt(*file);
  if (status.ok()) opened = file.release();
  return status;
}

Status StartOutputTargetWrite(OutputTarget& file, std::string_view bytes) {
  FinishStartedWrite(file);
  if (!file.failure.ok() || bytes.empty()) return file.failure;
  // A failure stays in file.failure, for the next call.
  file.writer = std::thread(
      [&file, bytes] { [[maybe_unused]] const Status ignored = WriteAll(file, bytes); });
  return Status::Ok();
}

Status CommitOutputTarget(OutputTarget& file) {
  FinishStartedWrite(file);
  if (!file.failure.ok() || file.committed) return file.failure;
  if (!file.temporary.empty()) {
    Status committed = CommitTemporary(file);
    if (!committed.ok()) return committed;
  } else if (file.ownsFd) {
    const int closed = close(file.fd);
    file.fd = -1;
    if (closed != 0) return Fail(file, SystemError());
  }
  file.committed = true;
  return Status::Ok();
}

void CloseOutputTarget(OutputTarget* file) noexcept { delete file; }

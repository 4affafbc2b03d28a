// The output file on POSIX systems: a new file beside the path (unnamed, O_TMPFILE, where the
// file system allows), fsync, then a name and a rename over the path, every step relative to a
// descriptor of the path's directory.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "io/console.h"
#include "io/output_file_platform.h"

struct OutputTarget {
  ~OutputTarget();

  std::string path;        // as the caller named it
  int fd = -1;             // what is written
  bool ownsFd = true;      // false when fd is standard output
  int directory = -1;      // an O_PATH descriptor of the directory of the file replaced
  std::string name;        // the name in `directory` that the new file takes at the commit
  bool replacing = false;  // fd is a new file in `directory`; false when written directly
  bool oldExists = false;  // something has `name` already
  bool unnamed = false;    // the new file has no name yet (O_TMPFILE)
  std::string temporary;   // the new file's own name in `directory`, while it has one
  Status failure;          // the first failed step; the file cannot be committed after it
  bool committed = false;
  std::size_t written = 0;      // bytes written so far
  std::size_t writtenBack = 0;  // of those, the ones the disk was asked to take already
  bool direct = false;          // whether O_DIRECT is set on fd
  bool directRefused = false;   // the file system takes no direct writes
  std::thread writer;           // a started write; while it runs, it alone uses the fields above
};

namespace {

// Every signal whose default action ends the process and that can be caught. A handler removes
// the named new file, then the signal ends the process as it would have. An unnamed new file
// needs none: it goes with the process.
constexpr int kCleanupSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1, SIGUSR2,
                                   SIGALRM, SIGPROF, SIGVTALRM, SIGXCPU, SIGPWR};

// The named new file that a signal removes. Set and cleared with the signals blocked, read by
// the handler, which calls nothing but unlinkat and raise.
int gTemporaryDirectory = -1;
char gTemporaryName[NAME_MAX + 1];
volatile std::sig_atomic_t gTemporaryArmed = 0;
struct sigaction gPreviousActions[std::size(kCleanupSignals)];
bool gHandlerInstalled[std::size(kCleanupSignals)];

extern "C" void RemoveTemporaryAndEnd(int signal) {
  if (gTemporaryArmed) unlinkat(gTemporaryDirectory, gTemporaryName, 0);
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
  const std::string words = std::strerror(errno);
  return step.empty() ? words : step + ": " + words;
}

Status Fail(OutputTarget& file, const std::string& reason) {
  file.failure = UnwritableOutput(file.path, reason);
  return file.failure;
}

// Splits `path` into its directory ("." when it names none) and its last component ("." when
// it ends with a slash, so that it names the directory itself).
void SplitPath(const std::string& path, std::string& directory, std::string& name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    directory.assign(1, '.');
    name = path;
  } else {
    directory = path.substr(0, std::max<std::size_t>(slash, 1));  // "/" for "/name"
    name = path.substr(slash + 1);
  }
  if (name.empty()) name.assign(1, '.');
}

// The system's protected_symlinks rule: in a sticky directory that everyone may write, a link
// is followed only when it belongs to the caller or to the directory's owner. Anyone may plant
// a link there; following it would write where its planter chose.
bool MayFollow(int directory, const struct stat& link) {
  struct stat status;
  if (fstat(directory, &status) != 0) return false;
  const bool shared = (status.st_mode & S_ISVTX) != 0 && (status.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == geteuid() || link.st_uid == status.st_uid;
}

bool OnProcFileSystem(int directory) {
  struct statfs system;
  return fstatfs(directory, &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
}

// The link `name` in `directory`, as it reads; empty, with errno set, when it cannot be read.
std::string ReadLink(int directory, const std::string& name) {
  std::vector<char> text(PATH_MAX + 1);
  const ssize_t length = readlinkat(directory, name.c_str(), text.data(), text.size());
  if (length < 0) return "";
  if (static_cast<std::size_t>(length) >= text.size()) {
    errno = ENAMETOOLONG;
    return "";
  }
  return std::string(text.data(), static_cast<std::size_t>(length));
}

// What writing to a path reaches.
struct Destination {
  bool exists = false;
  struct stat status;             // of the file reached, when it exists
  bool followedBySystem = false;  // reached through a link that the system follows itself
};

// Finds the file that writing to `file.path` reaches and sets file.directory and file.name to
// it. Symbolic links are followed one by one, under MayFollow, a dangling one to the name it
// holds; the system's own links under /proc that name no file of a directory (/dev/stdout on a
// pipe) are left to the system. Fails after 40 links, as the system counts a loop.
Status FindDestination(OutputTarget& file, Destination& found) {
  std::string directory, name;
  SplitPath(file.path, directory, name);
  file.directory = open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (int links = 0; file.directory >= 0; ++links) {
    file.name = name;
    struct stat& status = found.status;
    found.exists = fstatat(file.directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (!found.exists && errno == ENOENT) return Status::Ok();
    if (!found.exists) break;
    if (!S_ISLNK(status.st_mode)) return Status::Ok();
    if (links == 40) {
      errno = ELOOP;
      break;
    }
    if (!MayFollow(file.directory, status)) {
      return Fail(file, "the symbolic link '" + name +
                            "' belongs to another user in a sticky directory that everyone may "
                            "write, and is not followed");
    }
    const std::string linked = ReadLink(file.directory, name);
    if (linked.empty()) return Fail(file, SystemError("cannot read the link '" + name + "'"));
    if (OnProcFileSystem(file.directory) &&
        (!linked.starts_with('/') || linked.ends_with(" (deleted)"))) {
      found.followedBySystem = true;
      found.exists = fstatat(file.directory, name.c_str(), &status, 0) == 0;
      return found.exists ? Status::Ok() : Fail(file, SystemError());
    }
    SplitPath(linked, directory, name);
    const int next = openat(file.directory, directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    close(file.directory);
    file.directory = next;
    errno = error;
  }
  return Fail(file, SystemError());
}

// ".qtvdbadmin-" and six random letters and digits.
std::string NewTemporaryName() {
  constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  unsigned char random[6];
  if (getrandom(random, sizeof random, GRND_NONBLOCK) != sizeof random) {
    const auto seed = static_cast<unsigned long>(std::time(nullptr)) ^ (getpid() * 2654435761u) ^
                      reinterpret_cast<std::uintptr_t>(&random);
    for (std::size_t i = 0; i < sizeof random; ++i) random[i] = (seed >> (8 * i)) & 0xFF;
  }
  std::string name = ".qtvdbadmin-";
  for (unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
  return name;
}

// Makes `name` the new file's own name that a signal or the close removes. Called with the
// cleanup signals held.
void Arm(OutputTarget& file, const std::string& name) {
  file.temporary = name;
  std::memcpy(gTemporaryName, name.c_str(), name.size() + 1);
  gTemporaryDirectory = file.directory;
  gTemporaryArmed = 1;
}

// Removes the new file's own name unless it was renamed, and gives the signals their actions
// back.
void Discard(OutputTarget& file) {
  if (!file.temporary.empty()) {
    const SignalsHeld held;
    if (gTemporaryArmed) unlinkat(file.directory, file.temporary.c_str(), 0);
    gTemporaryArmed = 0;
    file.temporary.clear();
  }
  RestoreSignalActions();
}

// Creates the new file under a name of its own, which the signals remove until the commit.
Status CreateNamedFile(OutputTarget& file, mode_t mode) {
  InstallCleanupHandlers();
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    const std::string name = NewTemporaryName();
    const SignalsHeld held;
    file.fd = openat(file.directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (file.fd >= 0) {
      Arm(file, name);
      return Status::Ok();
    }
    error = errno;
  }
  RestoreSignalActions();
  errno = error;
  return Fail(file, SystemError());
}

// Names of the extended attributes that `list` (flistxattr or llistxattr on a file) gives.
template <typename List>
std::vector<std::string> AttributeNames(List list) {
  std::vector<std::string> names;
  for (;;) {
    const ssize_t size = list(nullptr, 0);
    if (size <= 0) return names;
    std::vector<char> text(static_cast<std::size_t>(size));
    const ssize_t got = list(text.data(), text.size());
    if (got < 0 && errno == ERANGE) continue;  // more names meanwhile
    for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(names.back().size()) + 1)
      names.emplace_back(text.data() + at);
    return names;
  }
}

// The value of one extended attribute that `get` (fgetxattr or lgetxattr) gives; false when
// there is none.
template <typename Get>
bool AttributeValue(Get get, std::string& value) {
  for (;;) {
    const ssize_t size = get(nullptr, 0);
    if (size < 0) return false;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = get(value.data(), value.size());
    if (got < 0 && errno == ERANGE) continue;
    value.resize(static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    return got >= 0;
  }
}

// Gives the new file the extended attributes of the file it replaces (the ACL among them,
// which on Linux is the system.posix_acl_* attributes) and no others: a default ACL of the
// directory gave it one of its own. Attributes the process may not set (another program's
// security labels, for a caller other than root) are left as the system made them. The old
// file is read through a descriptor where the caller may read it, otherwise through /proc.
void CopyExtendedAttributes(const OutputTarget& file) {
  const int old = openat(file.directory, file.name.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  const std::string viaProc = "/proc/self/fd/" + std::to_string(file.directory) + "/" + file.name;
  const auto list = [&](char* names, std::size_t size) {
    return old >= 0 ? flistxattr(old, names, size) : llistxattr(viaProc.c_str(), names, size);
  };
  const std::vector<std::string> kept = AttributeNames(list);
  const auto own = [&](char* names, std::size_t size) { return flistxattr(file.fd, names, size); };
  for (const std::string& name : AttributeNames(own)) {
    if (std::find(kept.begin(), kept.end(), name) == kept.end())
      fremovexattr(file.fd, name.c_str());
  }
  for (const std::string& name : kept) {
    const auto get = [&](void* value, std::size_t size) {
      return old >= 0 ? fgetxattr(old, name.c_str(), value, size)
                      : lgetxattr(viaProc.c_str(), name.c_str(), value, size);
    };
    std::string value;
    if (AttributeValue(get, value)) fsetxattr(file.fd, name.c_str(), value.data(), value.size(), 0);
  }
  if (old >= 0) close(old);
}

// Gives the new file the owner (where allowed), the extended attributes and the mode of the
// file it replaces.
void TakeOverAttributes(const OutputTarget& file, const struct stat& replaced) {
  struct stat own;
  if (fstat(file.fd, &own) == 0 &&
      (own.st_uid != replaced.st_uid || own.st_gid != replaced.st_gid)) {
    // Refused unless root (or the group is one of the caller's); the file is then the caller's.
    [[maybe_unused]] const int ignored = fchown(file.fd, replaced.st_uid, replaced.st_gid);
  }
  CopyExtendedAttributes(file);
  fchmod(file.fd, replaced.st_mode & 07777);  // after fchown, which clears set-user-ID bits
}

// Creates the new file in file.directory: unnamed where the file system allows and /proc can
// name it later, otherwise named. A new output gets the mode that the umask or the directory's
// default ACL gives; one that replaces a file starts private and takes that file's attributes.
Status CreateNewFile(OutputTarget& file, const struct stat* replaced) {
  const mode_t mode = replaced != nullptr ? 0600 : 0666;
  file.fd = openat(file.directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  const int error = errno;
  if (file.fd >= 0 &&
      faccessat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(file.fd)).c_str(), F_OK, 0) == 0) {
    file.unnamed = true;
  } else if (file.fd >= 0) {
    close(file.fd);
    file.fd = -1;
  } else if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
    errno = error;
    return Fail(file, SystemError());
  }
  if (!file.unnamed) {
    Status created = CreateNamedFile(file, mode);
    if (!created.ok()) return created;
  }
  file.replacing = true;
  file.oldExists = replaced != nullptr;
  if (replaced != nullptr) TakeOverAttributes(file, *replaced);
  return Status::Ok();
}

// Gives the whole, synced unnamed file a name: the path's own where nothing has it, otherwise
// one of its own, which the commit renames over the path. Called with the cleanup signals held.
Status NameNewFile(OutputTarget& file) {
  const std::string self = "/proc/self/fd/" + std::to_string(file.fd);
  const auto link = [&](const std::string& name) {
    return linkat(AT_FDCWD, self.c_str(), file.directory, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  };
  if (!file.oldExists && link(file.name)) return Status::Ok();
  if (file.oldExists || errno == EEXIST) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = NewTemporaryName();
      if (link(name)) {
        Arm(file, name);
        return Status::Ok();
      }
      if (errno != EEXIST) break;
    }
  }
  return Fail(file, SystemError("cannot name the new file"));
}

// Makes the rename itself last: a failure here leaves a complete output, so it is not reported.
void SyncDirectory(int directory) {
  const int fd = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

Status CommitNewFile(OutputTarget& file) {
  if (fsync(file.fd) != 0) return Fail(file, SystemError("cannot sync the new file"));
  if (!file.unnamed) {
    const int closed = close(file.fd);
    file.fd = -1;
    if (closed != 0) return Fail(file, SystemError("cannot close the new file"));
  }
  {
    const SignalsHeld held;
    if (file.unnamed) {
      Status named = NameNewFile(file);
      if (!named.ok()) return named;
    }
    if (!file.temporary.empty()) {
      if (renameat(file.directory, file.temporary.c_str(), file.directory, file.name.c_str()) !=
          0) {
        return Fail(file, SystemError("cannot rename the new file over it"));
      }
      gTemporaryArmed = 0;
      file.temporary.clear();
    }
  }
  RestoreSignalActions();
  SyncDirectory(file.directory);
  return Status::Ok();
}

// Asks the disk to take what was written to a new file while the rest is being made, so that
// the sync before the rename has little left to wait for. Only a hint: errors show at the sync.
void StartWriteBack(OutputTarget& file) {
  constexpr std::size_t kWriteBackStep = std::size_t{8} << 20;
  if (!file.replacing || file.written - file.writtenBack < kWriteBackStep) return;
  sync_file_range(file.fd, static_cast<off_t>(file.writtenBack),
                  static_cast<off_t>(file.written - file.writtenBack), SYNC_FILE_RANGE_WRITE);
  file.writtenBack = file.written;
}

void FinishStartedWrite(OutputTarget& file) {
  if (file.writer.joinable()) file.writer.join();
}

// Whether `bytes` can go to the file past the page cache: whole blocks of memory, from a block
// boundary of a new file (which is synced before the rename anyway, so that copying it into
// the cache first would only cost time).
bool CanWriteDirect(const OutputTarget& file, std::string_view bytes) {
  return file.replacing && !file.directRefused && bytes.size() >= kOutputFileAlignment &&
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

// Opens the destination, which exists and is not a regular file, for writing in place.
Status OpenDirectly(OutputTarget& file, bool followed) {
  file.fd = openat(file.directory, file.name.c_str(),
                   O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | (followed ? 0 : O_NOFOLLOW));
  return file.fd >= 0 ? Status::Ok() : Fail(file, SystemError());
}

}  // namespace

Status OpenOutputTarget(OutputTarget& file) {
  Destination destination;
  Status found = FindDestination(file, destination);
  if (!found.ok()) return found;
  const bool exists = destination.exists;
  const struct stat& status = destination.status;
  struct stat standardOutput;
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
  if (exists && !S_ISREG(status.st_mode)) return OpenDirectly(file, destination.followedBySystem);
  if (exists && faccessat(file.directory, file.name.c_str(), W_OK, AT_EACCESS) != 0)
    return Fail(file, SystemError());
  return CreateNewFile(file, exists ? &status : nullptr);
}

OutputTarget::~OutputTarget() {
  FinishStartedWrite(*this);
  if (fd >= 0 && ownsFd) close(fd);
  Discard(*this);
  if (directory >= 0) close(directory);
}

OutputTarget* NewOutputTarget(const std::string& path) {
  OutputTarget* const file = new OutputTarget;
  file->path = path;
  return file;
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
  if (file.replacing) {
    Status committed = CommitNewFile(file);
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

// Local groups on Linux: each group is added by the system's groupadd, run directly without a
// shell. Linux groups have no comment field, so the comment ("VOK QTV account") is not stored;
// the server name is not needed either, since groupadd only works on this computer.
#include "groups/local_group.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

// groupadd's exit statuses.
constexpr int kStatusAdded = 0;
constexpr int kStatusNotPermitted = 1;  // builds that ask PAM whether the caller may add groups
constexpr int kStatusNameInUse = 9;
constexpr int kStatusCannotUpdate = 10;

// What groupadd says is kept up to this many bytes for the reason text.
constexpr std::size_t kOutputKept = 400;

// groupadd is looked for on the PATH first, then where the system keeps it, which an ordinary
// user's PATH often leaves out.
constexpr const char* kGroupAddPrograms[] = {"groupadd", "/usr/sbin/groupadd"};

std::wstring Widen(std::string_view text) {
  std::wstring wide;
  for (char c : text) wide += (static_cast<unsigned char>(c) < 0x80) ? wchar_t(c) : L'?';
  return wide;
}

// Group names go to groupadd as printable ASCII; anything else is refused rather than turned
// into some other name.
bool NarrowName(const std::wstring& name, std::string& narrow) {
  for (wchar_t c : name) {
    if (c < 0x20 || c > 0x7E) return false;
    narrow += static_cast<char>(c);
  }
  return true;
}

// The environment with messages in the C locale, so that groupadd's words stay plain ASCII.
std::vector<char*> PlainLocaleEnvironment() {
  static char plainLocale[] = "LC_ALL=C";
  std::vector<char*> environment{plainLocale};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "LC_ALL=", 7) != 0) environment.push_back(*entry);
  }
  environment.push_back(nullptr);
  return environment;
}

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
};

struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

// Starts groupadd with `argv`: standard input from /dev/null, standard output and standard
// error both into `output`. Returns 0 or the error number of the failed start.
int StartGroupAdd(std::vector<char*>& argv, FileDescriptor& output, pid_t& pid) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return errno;
  output.fd = pipeEnds[0];
  FileDescriptor writeEnd{pipeEnds[1]};
  SpawnActions spawn;
  posix_spawn_file_actions_addopen(&spawn.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.fd, 1);
  posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.fd, 2);
  std::vector<char*> environment = PlainLocaleEnvironment();
  int failure = ENOENT;
  for (const char* program : kGroupAddPrograms) {
    argv[0] = const_cast<char*>(program);
    failure = posix_spawnp(&pid, program, &spawn.actions, nullptr, argv.data(),
                           environment.data());
    if (failure != ENOENT) break;
  }
  return failure;
}

// Everything groupadd writes, its lines joined by blanks, up to kOutputKept bytes.
std::string ReadOutput(FileDescriptor& output) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(output.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, std::min(static_cast<std::size_t>(got), kOutputKept - text.size()));
  }
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  const std::size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

GroupResult Other(std::string what, const std::string& output) {
  if (!output.empty()) what += ": " + output;
  return {GroupOutcome::kOther, Widen(what)};
}

// The outcome of how groupadd ended.
GroupResult MapStatus(int status, const std::string& output) {
  if (WIFEXITED(status)) {
    const int exitStatus = WEXITSTATUS(status);
    if (exitStatus == kStatusAdded) return {GroupOutcome::kDone, {}};
    if (exitStatus == kStatusNameInUse) return {GroupOutcome::kAlreadyDone, {}};
    if (exitStatus == kStatusNotPermitted) return {GroupOutcome::kAccessDenied, {}};
    // groupadd cannot lock or write the group files: for anyone but root that is the lack of
    // the right (groupadd itself then says "Permission denied."); for root it is something
    // else, such as another program holding the lock, and its own words say what.
    if (exitStatus == kStatusCannotUpdate && geteuid() != 0) {
      return {GroupOutcome::kAccessDenied, {}};
    }
    return Other("groupadd exited with status " + std::to_string(exitStatus), output);
  }
  const int signal = WTERMSIG(status);
  return Other("groupadd was ended by signal " + std::to_string(signal) + " (" +
                   strsignal(signal) + ")",
               output);
}

}  // namespace

GroupResult AddLocalGroup(const std::wstring&, const std::wstring& group, const std::wstring&) {
  std::string name;
  if (!NarrowName(group, name)) {
    return Other("the group name holds characters that groupadd does not take", "");
  }
  // "--" keeps a name that starts with a hyphen from being read as an option.
  std::vector<char*> argv{nullptr, const_cast<char*>("--"), name.data(), nullptr};
  FileDescriptor output;
  pid_t pid;
  const int failure = StartGroupAdd(argv, output, pid);
  if (failure != 0) return Other("groupadd could not be started", std::strerror(failure));
  const std::string text = ReadOutput(output);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return Other("groupadd could not be waited for", std::strerror(errno));
  }
  return MapStatus(status, text);
}

std::wstring ReadComputerName() {
  // The name only goes to AddLocalGroup, which does not need it: a name that cannot be read is
  // left empty rather than failing group creation.
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::wstring();
  return Widen(name);
}

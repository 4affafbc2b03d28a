#include "groups/shadow_tool-posix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

// What a tool says is kept up to this many bytes.
constexpr std::size_t kOutputKept = 400;

// Group names go to the tools as printable ASCII only.
bool NarrowName(const std::wstring& name, std::string& narrow) {
  for (wchar_t c : name) {
    if (c < 0x20 || c > 0x7E) return false;
    narrow += static_cast<char>(c);
  }
  return true;
}

// The environment with messages in the C locale.
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

// Starts `tool` from the first of `directories` that holds it, with `argv`: standard input from
// /dev/null, standard output and standard error both into `output`. Returns 0 or the error
// number of the failed start.
int StartTool(std::span<const std::string_view> directories, const char* tool,
              std::vector<char*>& argv, FileDescriptor& output, pid_t& pid) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return errno;
  output.fd = pipeEnds[0];
  FileDescriptor writeEnd{pipeEnds[1]};
  SpawnActions spawn;
  posix_spawn_file_actions_addopen(&spawn.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.fd, 1);
  posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.fd, 2);
  std::vector<char*> environment = PlainLocaleEnvironment();
  argv[0] = const_cast<char*>(tool);
  int failure = ENOENT;
  for (const std::string_view directory : directories) {
    const std::string program = std::string(directory) + "/" + tool;
    failure = posix_spawn(&pid, program.c_str(), &spawn.actions, nullptr, argv.data(),
                          environment.data());
    if (failure != ENOENT) break;
  }
  return failure;
}

// Everything the tool writes, its lines joined by blanks, up to kOutputKept bytes.
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

ShadowToolRun Failed(std::string what) { return {std::nullopt, WidenAscii(what), {}}; }

ShadowToolRun Ended(const char* tool, int status, const std::string& output) {
  if (WIFEXITED(status)) return {WEXITSTATUS(status), {}, WidenAscii(output)};
  const int signal = WTERMSIG(status);
  return {std::nullopt,
          WidenAscii(std::string(tool) + " was ended by signal " + std::to_string(signal) + " (" +
                     strsignal(signal) + ")"),
          WidenAscii(output)};
}

}  // namespace

ShadowToolRun RunShadowTool(std::span<const std::string_view> directories, const char* tool,
                            const std::wstring& group) {
  std::string name;
  if (!NarrowName(group, name)) {
    return Failed(std::string("the group name holds characters that ") + tool + " does not take");
  }
  // "--" keeps a name that starts with a hyphen from being read as an option.
  std::vector<char*> argv{nullptr, const_cast<char*>("--"), name.data(), nullptr};
  FileDescriptor output;
  pid_t pid;
  const int failure = StartTool(directories, tool, argv, output, pid);
  if (failure != 0) {
    return Failed(std::string(tool) + " could not be started: " + std::strerror(failure));
  }
  const std::string text = ReadOutput(output);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return Failed(std::string(tool) + " could not be waited for: " + std::strerror(errno));
    }
  }
  return Ended(tool, status, text);
}

std::wstring ShadowToolWords(const char* tool, const ShadowToolRun& run) {
  std::wstring words = run.failure;
  if (run.exitStatus) {
    words =
        WidenAscii(std::string(tool) + " exited with status " + std::to_string(*run.exitStatus));
  }
  if (!run.output.empty()) words += L": " + run.output;
  return words;
}

std::wstring WidenAscii(std::string_view text) {
  std::wstring wide;
  for (char c : text) wide += (static_cast<unsigned char>(c) < 0x80) ? wchar_t(c) : L'?';
  return wide;
}

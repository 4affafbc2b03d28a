// Running a child process on POSIX systems.
#include "tests/support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;

namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (fd[0] >= 0) close(fd[0]);
    fd[0] = -1;
  }
  void CloseWrite() {
    if (fd[1] >= 0) close(fd[1]);
    fd[1] = -1;
  }
};

}  // namespace

ProgramRun RunCommand(const std::vector<std::string>& command, const std::string& input) {
  return RunCommandWhile(command, input, {});
}

ProgramRun RunCommandWhile(const std::vector<std::string>& command, const std::string& input,
                           const std::function<void(int pid)>& meanwhile) {
  Pipe in, out, err;
  // A child that exits before reading all its input must not take the test down with SIGPIPE;
  // the child itself starts with the default action, for the signals that end a process too
  // (a test runner started in the background ignores SIGINT).
  std::signal(SIGPIPE, SIG_IGN);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) throw std::system_error(spawned, std::generic_category(), command[0]);
  in.CloseRead();
  out.CloseWrite();
  err.CloseWrite();
  std::thread watcher;
  if (meanwhile) watcher = std::thread(meanwhile, static_cast<int>(pid));

  ProgramRun run{-1, "", ""};
  std::size_t written = 0;
  if (input.empty()) in.CloseWrite();
  fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
  for (;;) {
    pollfd fds[3] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {in.fd[1], POLLOUT, 0}};
    const int watched = in.fd[1] >= 0 ? 3 : 2;
    if (fds[0].fd < 0 && fds[1].fd < 0) break;
    if (poll(fds, watched, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
      } else if (i == 0) {
        out.CloseRead();
      } else {
        err.CloseRead();
      }
    }
    if (watched == 3 && fds[2].revents != 0) {
      const ssize_t sent = write(in.fd[1], input.data() + written, input.size() - written);
      if (sent > 0) written += static_cast<std::size_t>(sent);
      if (sent < 0 || written == input.size()) in.CloseWrite();
    }
  }
  if (watcher.joinable()) watcher.join();
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  return run;
}

std::intmax_t NewOutputFileSize(int pid, const std::filesystem::path& directory) {
  const std::string prefix = directory.string() + "/";
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code unreadable;
    const std::string target = std::filesystem::read_symlink(entry.path(), unreadable).string();
    if (!target.starts_with(prefix)) continue;
    // An unnamed file shows as "#<inode> (deleted)".
    const std::string name = target.substr(prefix.size());
    if (!name.starts_with(".qtvdbadmin-") && !name.starts_with("#")) continue;
    struct stat status;
    if (stat(entry.path().c_str(), &status) == 0) return status.st_size;
  }
  return -1;
}

#include "bench/child_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Nothing buffered here may be written twice by a child, and the writes of earlier runs are
// not the next one's to wait for.
void Settle() {
  std::fflush(nullptr);
  sync();
}

// Waits for `child`; sets the run's peak memory and whether the child exited with status 0.
void Reap(pid_t child, ChildRun& run) {
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

// The redirections of a spawned program's standard input and output.
class Redirections {
 public:
  Redirections() { valid_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~Redirections() {
    if (valid_) posix_spawn_file_actions_destroy(&actions_);
  }
  Redirections(const Redirections&) = delete;
  Redirections& operator=(const Redirections&) = delete;

  // Opens `path` as descriptor `fd` in the child, when `path` is not empty.
  void Add(int fd, const std::string& path, int flags) {
    if (valid_ && !path.empty()) {
      valid_ = posix_spawn_file_actions_addopen(&actions_, fd, path.c_str(), flags, 0644) == 0;
    }
  }
  bool valid() const { return valid_; }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool valid_ = false;
};

}  // namespace

ChildRun RunInChild(const std::function<bool()>& work) {
  ChildRun run;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return run;
  Settle();
  const pid_t child = fork();
  if (child < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return run;
  }
  if (child == 0) {
    close(pipeEnds[0]);
    const auto start = Clock::now();
    bool ok = false;
    try {
      ok = work();
    } catch (...) {
      // A throw must not carry the child on into this process's own code.
    }
    const double seconds = SecondsSince(start);
    const bool sent = write(pipeEnds[1], &seconds, sizeof seconds) == sizeof seconds;
    std::fflush(nullptr);
    _exit(ok && sent ? 0 : 1);
  }
  close(pipeEnds[1]);
  const bool received = read(pipeEnds[0], &run.seconds, sizeof run.seconds) == sizeof run.seconds;
  close(pipeEnds[0]);
  Reap(child, run);
  run.ok = run.ok && received;
  return run;
}

ChildRun RunProgram(const std::vector<std::string>& arguments, const std::string& inputPath,
                    const std::string& outputPath) {
  ChildRun run;
  Redirections redirections;
  redirections.Add(STDIN_FILENO, inputPath, O_RDONLY);
  redirections.Add(STDOUT_FILENO, outputPath, O_WRONLY | O_CREAT | O_TRUNC);
  if (arguments.empty() || !redirections.valid()) return run;
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  Settle();
  const auto start = Clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, argv[0], redirections.get(), nullptr, argv.data(), environ) != 0)
    return run;
  Reap(child, run);
  run.seconds = SecondsSince(start);
  return run;
}

#include "bench/child_run.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

ChildRun RunInChild(const std::function<bool()>& work) {
  ChildRun run;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return run;
  std::fflush(nullptr);  // nothing buffered may be written twice
  sync();  // the writes of earlier runs are not this one's to wait for
  const pid_t child = fork();
  if (child < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return run;
  }
  if (child == 0) {
    close(pipeEnds[0]);
    const auto start = std::chrono::steady_clock::now();
    const bool ok = work();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double seconds = elapsed.count();
    const bool sent = write(pipeEnds[1], &seconds, sizeof seconds) == sizeof seconds;
    std::fflush(nullptr);
    _exit(ok && sent ? 0 : 1);
  }
  close(pipeEnds[1]);
  double seconds = 0;
  const bool received = read(pipeEnds[0], &seconds, sizeof seconds) == sizeof seconds;
  close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return run;
  run.ok = received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.seconds = seconds;
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
  return run;
}

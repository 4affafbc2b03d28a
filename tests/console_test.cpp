// The console's set-up of the standard streams.
#include "io/console.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

namespace {

// In a child, so that the test's own streams stay as they are: closed standard streams come
// back on the null device, a file opened afterwards gets a descriptor of its own instead of
// taking the place of standard output, and a write to standard output still fails, as it
// would have on the closed stream.
TEST(PrepareStandardStreams, ReopensClosedStreamsOnTheNullDevice) {
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    close(0);
    close(1);
    close(2);
    PrepareStandardStreams();
    bool ok = true;
    for (int fd = 0; fd <= 2; ++fd) {
      std::error_code error;
      ok = ok && std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error) ==
                     "/dev/null";
    }
    const int file = open("/proc/self/status", O_RDONLY);
    const bool writeFails = write(STDOUT_FILENO, "x", 1) == -1 && errno == EBADF;
    _exit(ok && file > 2 && writeFails ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Runs `body` in a child after PrepareStandardStreams; expects it to exit with 0.
void ExpectInPreparedChild(int (*body)()) {
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    signal(SIGPIPE, SIG_DFL);
    PrepareStandardStreams();
    _exit(body());
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A write to a pipe that no one reads fails with EPIPE instead of ending the process, while
// a program it runs still starts with SIGPIPE's default action.
TEST(PrepareStandardStreams, AClosedPipeFailsAWriteOnlyHere) {
  ExpectInPreparedChild([] {
    int fds[2];
    if (pipe(fds) != 0) return 2;
    close(fds[0]);
    if (write(fds[1], "x", 1) != -1 || errno != EPIPE) return 3;
    const pid_t shell = fork();
    if (shell == 0) {
      execl("/bin/sh", "sh", "-c", "kill -PIPE $$; exit 0", static_cast<char*>(nullptr));
      _exit(4);
    }
    int status = 0;
    waitpid(shell, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE ? 0 : 5;
  });
}

TEST(PrepareStandardStreams, LeavesOpenStreamsAlone) {
  const std::filesystem::path before = std::filesystem::read_symlink("/proc/self/fd/1");
  PrepareStandardStreams();
  EXPECT_EQ(std::filesystem::read_symlink("/proc/self/fd/1"), before);
}

}  // namespace

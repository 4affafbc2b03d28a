// The console's set-up of the standard streams.
#include "io/console.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// In a child, so that the test's own streams stay as they are: closed standard streams come
// back on the null device, and a file opened afterwards gets a descriptor of its own instead
// of taking the place of standard output.
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
    _exit(ok && file > 2 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PrepareStandardStreams, LeavesOpenStreamsAlone) {
  const std::filesystem::path before = std::filesystem::read_symlink("/proc/self/fd/1");
  PrepareStandardStreams();
  EXPECT_EQ(std::filesystem::read_symlink("/proc/self/fd/1"), before);
}

}  // namespace

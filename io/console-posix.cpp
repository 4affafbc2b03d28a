// Wide text leaves as UTF-8.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "io/console.h"
#include "io/text_codec.h"

void ConsoleWrite(std::wstring_view text) { ConsoleWrite(std::string_view(Utf8FromWide(text))); }

void PrepareStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is this one.
    if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) break;
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

// Wide text leaves as UTF-8.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "io/console.h"
#include "io/text_codec.h"

namespace {

extern "C" void DoNothing(int) {}

// Makes `signal` harmless: a write that raises it then fails with its error like any other.
// A handler that does nothing rather than SIG_IGN, so that the programs this one runs start
// with the signal's default action; one the process ignores already stays ignored.
void Disarm(int signal) {
  struct sigaction previous {};
  if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = DoNothing;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

void ConsoleWrite(std::wstring_view text) { ConsoleWrite(std::string_view(Utf8FromWide(text))); }

void PrepareStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is this one. Read-only, so that a write to
    // a stream that was closed fails (EBADF), as it would have.
    if (open("/dev/null", O_RDONLY) != fd) break;
  }
  Disarm(SIGXFSZ);  // a write past the file-size limit (ulimit -f)
  Disarm(SIGPIPE);  // a write to a pipe or socket that no one reads any more
}

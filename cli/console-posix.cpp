// Wide text leaves as UTF-8.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "cli/console.h"
#include "cli/utf8.h"

void ConsoleWrite(std::wstring_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t c : text) {
    // wchar_t holds UTF-32 here; anything outside Unicode shows as U+FFFD.
    const auto code = static_cast<char32_t>(c);
    const bool valid = code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    AppendUtf8(narrow, valid ? code : U'\uFFFD');
  }
  ConsoleWrite(std::string_view(narrow));
}

void PrepareStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is this one.
    if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return;
  }
}

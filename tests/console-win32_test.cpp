// Standard output on Windows: narrow and wide text share one stream, in the order written,
// with the runtime's text mode turning each line feed into CR LF.
#include "io/console.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "tests/support.h"

namespace {

// Sends standard output to `file`, opened in text mode as a console's standard output is,
// until the object goes.
class RedirectedStdout {
 public:
  explicit RedirectedStdout(const std::filesystem::path& file) {
    std::fflush(stdout);
    saved_ = _dup(_fileno(stdout));
    const int fd =
        _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    _dup2(fd, _fileno(stdout));
    _close(fd);
  }
  ~RedirectedStdout() {
    std::fflush(stdout);
    _dup2(saved_, _fileno(stdout));
    _close(saved_);
  }
  RedirectedStdout(const RedirectedStdout&) = delete;
  RedirectedStdout& operator=(const RedirectedStdout&) = delete;

 private:
  int saved_;
};

TEST(ConsoleWin32, NarrowAndWideTextArriveInTheOrderWritten) {
  ScratchDir dir;
  {
    RedirectedStdout redirect(dir / "out.txt");
    ConsoleWrite(std::wstring_view(L"banner\n"));
    ConsoleWrite(std::string_view("\t3 tables"));
    ConsoleWrite(std::wstring_view(L" wide "));
    ConsoleWriteLine("narrow line");
    ConsoleWrite(std::wstring_view(L"last\n"));
    ConsoleFlush();
  }
  EXPECT_EQ(ReadFile(dir / "out.txt"), "banner\r\n\t3 tables wide narrow line\r\nlast\r\n");
}

// Wide text is an argument of the format, never the format itself, and a view need not end
// in a NUL.
TEST(ConsoleWin32, WideTextIsWrittenLiterallyAndOnlyWithinItsView) {
  ScratchDir dir;
  const std::wstring_view text = L"100% %s %ls done, and more";
  {
    RedirectedStdout redirect(dir / "out.txt");
    ConsoleWrite(text.substr(0, text.find(L',')));
    ConsoleFlush();
  }
  EXPECT_EQ(ReadFile(dir / "out.txt"), "100% %s %ls done");
}

// A localised system message may hold characters that no single-byte code page has; each
// costs at most itself, never the rest of the text.
TEST(ConsoleWin32, CharacterOutsideTheCodePageKeepsTheRestOfTheText) {
  ScratchDir dir;
  {
    RedirectedStdout redirect(dir / "out.txt");
    ConsoleWrite(std::wstring_view(L"head \u4e2d\u20ac tail\n"));
    ConsoleFlush();
  }
  const std::string out = ReadFile(dir / "out.txt");
  EXPECT_EQ(out.rfind("head ", 0), 0u) << out;
  ASSERT_GE(out.size(), 12u) << out;
  EXPECT_EQ(out.substr(out.size() - 7), " tail\r\n") << out;
}

}  // namespace

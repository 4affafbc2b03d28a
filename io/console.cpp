// The narrow side of the console, the same on every platform; each platform's console file
// converts wide text and hands it here.
#include "io/console.h"

#include <cstdio>
#include <string>

void ConsoleWrite(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void ConsoleWriteLine(std::string_view text) {
  ConsoleWrite(text);
  ConsoleWrite(std::string_view("\n"));
  ConsoleFlush();
}

void ConsoleErrorLine(std::string_view text) {
  std::string line = "qtvdbadmin: ";
  line.append(text).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

bool ConsoleFlush() {
  const bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout);
}

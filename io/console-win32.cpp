// Standard output through the C runtime's stdout stream, narrow and wide text alike, so both
// keep the order in which they were written. Standard output stays in the runtime's text
// mode, as for any console program, so every line feed leaves as CR LF.
#include <windows.h>

#include <string>

#include "io/console.h"

// Wide text is converted here rather than by printf("%ls"): in the runtime's "C" locale that
// stops at the first character beyond Latin-1 and drops the rest, as a localised system
// message would show. A character that the code page lacks becomes its default character.
void ConsoleWrite(std::wstring_view text) {
  if (text.empty()) return;
  const UINT consolePage = GetConsoleOutputCP();
  const UINT codePage = consolePage != 0 ? consolePage : CP_ACP;
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
  ConsoleWrite(std::string_view(narrow));
}

// The C runtime gives a console program its standard handles; nothing to prepare.
void PrepareStandardStreams() {}

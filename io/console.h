// The program's one channel to standard output.
//
// Narrow text (the count line, the transformer's messages) and wide text (the banner, usage
// and group reports) are written through the same narrow stream, so they arrive in the order
// written: a C stream that has turned wide-oriented drops narrow writes, and the reverse.
// Standard error carries only the program's diagnostics: one line for a failure, saying why,
// and one for each warning (ConsoleErrorLine).
#pragma once

#include <string_view>

// Makes sure standard input, output and error are open, so that no file or connection the
// program opens later takes their place and receives console text. On POSIX one that was closed
// is opened on the null device for reading only: a write to it still fails, as a write to a
// closed stream does, and a run whose text cannot reach standard output fails. On POSIX it
// also has a write past the file-size limit (ulimit -f) or to a pipe that no one reads fail
// like any other write instead of ending the process with SIGXFSZ or SIGPIPE. Called once,
// first thing.
void PrepareStandardStreams();

// Writes narrow text as it is.
void ConsoleWrite(std::string_view text);

// Writes wide text converted to the console's narrow encoding (UTF-8 on POSIX).
void ConsoleWrite(std::wstring_view text);

// Writes narrow text and a line end, then flushes.
void ConsoleWriteLine(std::string_view text);

// Writes "qtvdbadmin: ", `text` and a line end to standard error at once.
void ConsoleErrorLine(std::string_view text);

// Flushes what was written so far. Returns false once any write to standard output has failed
// (a full device, a closed pipe): the text did not reach whoever reads it.
bool ConsoleFlush();

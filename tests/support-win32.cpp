// Running a child process on Windows.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "tests/support.h"

namespace {

class Handle {
 public:
  Handle() = default;
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  void Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
  }
  HANDLE get() const { return handle_; }
  HANDLE* Out() {
    Close();
    return &handle_;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A pipe whose `child` end is inherited by the child and whose `own` end is not. The buffer
// holds everything the tests pass or expect, so the ends can be served one after the other.
struct Pipe {
  Handle child, own;
  explicit Pipe(bool childReads) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle& read = childReads ? child : own;
    Handle& write = childReads ? own : child;
    if (!CreatePipe(read.Out(), write.Out(), &inherit, 1 << 20)) {
      throw std::runtime_error("CreatePipe failed");
    }
    SetHandleInformation(own.get(), HANDLE_FLAG_INHERIT, 0);
  }
};

// The command line that hands `word` to the child's argument parser unchanged.
void AppendQuoted(std::string& line, const std::string& word) {
  if (!line.empty()) line += ' ';
  if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) {
    line += word;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, '\\');
  line += '"';
}

std::string ReadAll(HANDLE pipe) {
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

}  // namespace

ProgramRun RunCommand(const std::vector<std::string>& command, const std::string& input) {
  Pipe in(true), out(false), err(false);
  std::string line;
  for (const std::string& word : command) AppendQuoted(line, word);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.child.get();
  startup.hStdOutput = out.child.get();
  startup.hStdError = err.child.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    throw std::runtime_error("cannot start " + command[0]);
  }
  Handle processHandle, threadHandle;
  *processHandle.Out() = process.hProcess;
  *threadHandle.Out() = process.hThread;
  in.child.Close();
  out.child.Close();
  err.child.Close();

  DWORD written = 0;
  if (!input.empty()) {
    WriteFile(in.own.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  }
  in.own.Close();
  ProgramRun run{-1, ReadAll(out.own.get()), ReadAll(err.own.get())};
  WaitForSingleObject(processHandle.get(), INFINITE);
  DWORD exitCode = 0;
  // As a POSIX shell shows it: the low byte, so -1 reads 255.
  if (GetExitCodeProcess(processHandle.get(), &exitCode)) run.exitCode = exitCode & 0xFF;
  return run;
}

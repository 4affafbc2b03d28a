// Helpers shared by the tests: files, a scratch directory, the transformer on strings, and
// the real program run as a child process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "rewrite/script_file.h"

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// A fixture of tests/data.
std::string ReadFixture(const std::string& name);

// A fresh directory, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The texts that frame a rewritten procedure named `procName`: the object header (written when
// no "/****** object" comment follows) and the drop preamble.
std::string ExpectedHeader(const std::string& procName);
std::string ExpectedPreamble(const std::string& procName);
// Both, the header first.
std::string ExpectedFraming(const std::string& procName);

// What the scan hands a rewrite for the procedure at the start of `procedure` (from
// "create procedure " on): the name cut, whether an object comment follows, and the GO
// position, that of its first GO line or, without one, the text's size. Fails the test when
// the create line names no replication procedure.
ProcedureFrame FrameForRewrite(std::string_view procedure);

// What a scan of a script gave: its status, what it wrote and the procedures it skipped.
struct ScanResult {
  Status status;
  std::string output;
  SkippedProcedures skipped;
};

// Scans `script` as the program does.
ScanResult ScanText(const std::string& script, const NoIdentityTableSet& tables = {"placeholder"});

// The same; returns what was written.
std::string Transform(const std::string& script,
                      const NoIdentityTableSet& tables = {"placeholder"});

// A stream buffer that accepts `capacity` bytes and then fails, as a full disk does.
class LimitedBuffer : public std::streambuf {
 public:
  explicit LimitedBuffer(std::size_t capacity) : capacity_(capacity) {}
  const std::string& bytes() const { return bytes_; }

 protected:
  int_type overflow(int_type byte) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;

 private:
  std::size_t capacity_;
  std::string bytes_;
};

// Scans `script` into a stream that fails after each number of bytes up to the
// size of `full`, the whole output: every scan must end quietly with the stream failed and
// holding exactly the first bytes of `full`.
void ExpectEveryFailedWriteStopsTheScan(const std::string& script, const NoIdentityTableSet& tables,
                                        const std::string& full);

struct ProgramRun {
  int exitCode;  // as the shell shows it: 0 to 255; -1 when the program did not exit normally
  std::string out;
  std::string err;
  int signal = 0;  // POSIX: the signal that ended the program, if one did
};

// Runs `command` (the program first) with `input` on its standard input and waits for it.
ProgramRun RunCommand(const std::vector<std::string>& command, const std::string& input = "");

// POSIX only. Runs `command` as RunCommand does while `meanwhile` runs on a thread of its own
// with the child's process id. The child is reaped only after `meanwhile` has returned, so the
// id stays the child's (a signal sent to it after it has ended reaches no other process).
ProgramRun RunCommandWhile(const std::vector<std::string>& command, const std::string& input,
                           const std::function<void(int pid)>& meanwhile);

// POSIX only. The size of the new file that the running program `pid` writes in `directory`,
// named (".qtvdbadmin-...") or unnamed (O_TMPFILE); -1 while it has none open.
std::intmax_t NewOutputFileSize(int pid, const std::filesystem::path& directory);

// Runs the built qtvdbadmin with `arguments`.
ProgramRun RunProgram(const std::vector<std::string>& arguments, const std::string& input = "");

// The program's diagnostic line on standard error for `text` ("qtvdbadmin: <text>" and a line
// end); nothing when `text` is empty.
std::string ErrorLine(std::string_view text);

// The banner and the usage text, as the program writes them.
extern const std::string kBannerText;
extern const std::string kUsageText;

// The connection string of the PostgreSQL fixture that scripts/test puts in the environment
// variable `name`; empty when it is not set. The variables: QTV_TEST_ODBC (the sample
// catalogue), QTV_TEST_ODBC_NO_OBJECTDEFN (no objectdefn table), QTV_TEST_ODBC_NO_ROWS (the
// query returns no row), QTV_TEST_ODBC_UNICODE (tables named beyond ASCII) and
// QTV_TEST_ODBC_UNREACHABLE (a port where no server listens).
std::string TestConnectionString(const char* name);

// Declares `variable` holding the fixture's connection string `name`, or skips the test.
#define QTV_REQUIRE_CONNECTION(variable, name)                                  \
  const std::string variable = TestConnectionString(name);                      \
  if (variable.empty())                                                         \
  GTEST_SKIP() << name                                                          \
               << " is not set; run scripts/test, which starts the PostgreSQL " \
                  "fixture and sets it"

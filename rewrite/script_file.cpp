#include "rewrite/script_file.h"

#include <cstdint>
#include <memory>
#include <ostream>

#include "io/input_file.h"
#include "io/output_file.h"

namespace {

// Gathers the scan's pieces into large writes to the output file, in two buffers: one is
// written while the scan fills the other. The buffers are aligned as the output file writes
// fastest. Once a write fails, every later one fails too, and the stream over it goes bad.
class OutputFileBuffer : public std::streambuf {
 public:
  explicit OutputFileBuffer(OutputFilePtr file) : file_(std::move(file)) {
    for (int i = 0; i < 2; ++i) {
      storage_[i].reset(
          new char[kBufferBytes + kOutputFileAlignment]);  // not zeroed: written before read
      const auto address = reinterpret_cast<std::uintptr_t>(storage_[i].get());
      buffers_[i] = storage_[i].get() +
                    (kOutputFileAlignment - address % kOutputFileAlignment) % kOutputFileAlignment;
    }
    setp(buffers_[0], buffers_[0] + kBufferBytes);
  }

  // Writes what is left and commits the file; false when a write or the commit failed.
  bool Commit() { return Drain() && CommitOutputFile(*file_); }

  // Why a write or the commit failed.
  const std::string& Error() const { return OutputFileError(*file_); }

 protected:
  int_type overflow(int_type byte) override {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(byte, traits_type::eof())) return traits_type::not_eof(byte);
    *pptr() = traits_type::to_char_type(byte);
    pbump(1);
    return byte;
  }

  int sync() override { return Drain() ? 0 : -1; }

 private:
  static constexpr std::size_t kBufferBytes = std::size_t{4} << 20;

  // Starts the write of the filled buffer and goes on in the other one.
  bool Drain() {
    const std::size_t count = static_cast<std::size_t>(pptr() - pbase());
    const bool started = StartOutputFileWrite(*file_, std::string_view(pbase(), count));
    filling_ = 1 - filling_;
    setp(buffers_[filling_], buffers_[filling_] + kBufferBytes);
    return started;
  }

  std::unique_ptr<char[]> storage_[2];
  char* buffers_[2];
  int filling_ = 0;
  OutputFilePtr file_;  // goes first, waiting for a write that may still read a buffer
};

}  // namespace

namespace {

Status Failure(Status::Code code, std::string message) {
  return Status::Error(code, std::move(message));
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

Status TransformScript(const std::string& inputPath, const NoIdentityTableSet& tables,
                       const std::string& outputPath, SkippedProcedures& skipped) {
  using Code = Status::Code;
  if (inputPath.empty()) return Failure(Code::kInvalidArgument, "the input file name is empty");
  if (outputPath.empty()) return Failure(Code::kInvalidArgument, "the output file name is empty");
  if (tables.empty()) {
    return Failure(Code::kInvalidArgument,
                   "no table without an identity column was found; the script is not rewritten");
  }
  InputFile script;
  Status read = ReadInputFile(inputPath, script);
  if (!read.ok()) return read;
  const std::string_view scriptText = script.Text();
  if (FindText(scriptText, kCreateKeyword) == kNotFound) {
    return Failure(Code::kNotFound, Quoted(inputPath) + " holds no \"create procedure \"");
  }
  std::string error;
  OutputFilePtr out = OpenOutputFile(outputPath, error);
  if (!out) return Failure(Code::kWriteError, "cannot write " + Quoted(outputPath) + ": " + error);
  OutputFileBuffer chunks(std::move(out));
  std::ostream chunked(&chunks);
  // A failure leaves the output uncommitted: its temporary file goes, the path is untouched.
  Status scanned = ScanScript(scriptText, tables, chunked, skipped);
  if (!scanned.ok()) return scanned;
  if (InputFileChanged(script)) {
    return Failure(Code::kReadError, "cannot read " + Quoted(inputPath) +
                                         ": the file became shorter while it was read");
  }
  if (chunked.fail() || !chunks.Commit()) {
    return Failure(Code::kWriteError, "cannot write " + Quoted(outputPath) + ": " + chunks.Error());
  }
  return Status::Ok();
}

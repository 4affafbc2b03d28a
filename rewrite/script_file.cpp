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

TransformOutcome TransformScript(const std::string& inputPath, const NoIdentityTableSet& tables,
                                 const std::string& outputPath) {
  if (inputPath.empty() || outputPath.empty() || tables.empty()) return TransformOutcome::kNotRun;
  InputFile script;
  if (!ReadInputFile(inputPath, script)) return TransformOutcome::kCannotRead;
  const std::string_view scriptText = script.Text();
  if (FindText(scriptText, kCreateKeyword) == kNotFound) return TransformOutcome::kNoProcedures;
  std::string error;
  OutputFilePtr out = OpenOutputFile(outputPath, error);
  if (!out) return TransformOutcome::kCannotWrite;
  OutputFileBuffer chunks(std::move(out));
  std::ostream chunked(&chunks);
  // An exception leaves the output uncommitted: its temporary file goes, the path is untouched.
  ScanScript(scriptText, tables, chunked);
  if (InputFileChanged(script)) return TransformOutcome::kCannotRead;  // shortened meanwhile
  if (chunked.fail() || !chunks.Commit()) return TransformOutcome::kCannotWrite;
  return TransformOutcome::kDone;
}

#include "rewrite/script_file.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "io/input_file.h"
#include "io/output_file.h"

namespace {

// Gathers the scan's pieces into large writes to the output file. Once a write fails, every
// later one fails too, and the stream over it goes bad.
class OutputFileBuffer : public std::streambuf {
 public:
  explicit OutputFileBuffer(OutputFile& file) : file_(file), buffer_(1 << 20) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

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
  bool Drain() {
    const std::size_t count = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return WriteOutputFile(file_, std::string_view(buffer_.data(), count));
  }

  OutputFile& file_;
  std::vector<char> buffer_;
};

char LowerCaseByte(char byte) {
  const unsigned char c = static_cast<unsigned char>(byte);
  return static_cast<char>(static_cast<unsigned char>(c - 'A') < 26u ? c + 32 : c);
}

void LowerCaseBytes(char* bytes, std::size_t size) {
  // Blocks of a fixed size, which the compiler turns into vector code also at -O2.
  constexpr std::size_t kBlock = 64;
  std::size_t i = 0;
  for (; i + kBlock <= size; i += kBlock) {
    for (std::size_t j = 0; j < kBlock; ++j) bytes[i + j] = LowerCaseByte(bytes[i + j]);
  }
  for (; i < size; ++i) bytes[i] = LowerCaseByte(bytes[i]);
}

}  // namespace

void LowerCaseScript(std::string& scriptText) { LowerCaseBytes(scriptText.data(), scriptText.size()); }

TransformOutcome TransformScript(const std::string& inputPath, const NoIdentityTableSet& tables,
                                 const std::string& outputPath) {
  if (inputPath.empty() || outputPath.empty() || tables.empty()) return TransformOutcome::kNotRun;
  InputFile script;
  if (!ReadInputFile(inputPath, script, LowerCaseBytes)) return TransformOutcome::kCannotRead;
  const std::string_view scriptText = script.Text();
  if (FindText(scriptText, kCreateKeyword) == kNotFound) return TransformOutcome::kNoProcedures;
  std::string error;
  const OutputFilePtr out = OpenOutputFile(outputPath, error);
  if (!out) return TransformOutcome::kCannotWrite;
  OutputFileBuffer chunks(*out);
  std::ostream chunked(&chunks);
  // An exception leaves the output uncommitted: its temporary file goes, the path is untouched.
  ScanScript(scriptText, tables, chunked);
  if (!chunked.flush() || !CommitOutputFile(*out)) return TransformOutcome::kCannotWrite;
  return TransformOutcome::kDone;
}

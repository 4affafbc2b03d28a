#include "rewrite/script_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <vector>

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

// The whole input, lower-cased. Not a std::string, which would zero every byte before the
// file's bytes overwrite them.
struct ScriptBuffer {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;
  std::string_view Text() const { return std::string_view(bytes.get(), size); }
};

// Reads the whole file into `script`, lower-casing each megabyte as it arrives, while it is
// still in the processor's cache. False when the file cannot be opened or read.
bool ReadScriptFile(const std::string& path, ScriptBuffer& script) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) return false;
  script.size = static_cast<std::size_t>(size);
  script.bytes.reset(new char[script.size]);
  constexpr std::size_t kPiece = 1 << 20;
  for (std::size_t done = 0; done < script.size;) {
    const std::size_t count = std::min(kPiece, script.size - done);
    in.read(script.bytes.get() + done, static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(in.gcount()) != count) return false;
    LowerCaseBytes(script.bytes.get() + done, count);
    done += count;
  }
  return true;
}

}  // namespace

void LowerCaseScript(std::string& scriptText) { LowerCaseBytes(scriptText.data(), scriptText.size()); }

TransformOutcome TransformScript(const std::string& inputPath, const NoIdentityTableSet& tables,
                                 const std::string& outputPath) {
  if (inputPath.empty() || outputPath.empty() || tables.empty()) return TransformOutcome::kNotRun;
  ScriptBuffer script;
  if (!ReadScriptFile(inputPath, script)) return TransformOutcome::kCannotRead;
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

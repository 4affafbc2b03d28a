// The shared part of the output file: the stream over the platform's target, gathered into two
// aligned buffers, one written while the other fills.
#include "io/output_file.h"

#include <new>
#include <streambuf>

#include "io/output_file_platform.h"

namespace {

constexpr std::size_t kBufferBytes = std::size_t{4} << 20;

struct AlignedDelete {
  void operator()(char* bytes) const noexcept {
    ::operator delete[](bytes, std::align_val_t(kOutputFileAlignment));
  }
};
using AlignedBuffer = std::unique_ptr<char[], AlignedDelete>;

AlignedBuffer NewAlignedBuffer() {  // not zeroed: written before it is read
  return AlignedBuffer(
      static_cast<char*>(::operator new[](kBufferBytes, std::align_val_t(kOutputFileAlignment))));
}

// Hands each filled buffer to the target and goes on in the other one while the target writes
// it. Once the target refuses a write, every later one fails too, and so does the stream.
class DoubleBuffer : public std::streambuf {
 public:
  explicit DoubleBuffer(OutputTarget& target) : target_(target) {
    setp(buffers_[0].get(), buffers_[0].get() + kBufferBytes);
  }

  // Hands on what the current buffer holds. The first failure, also of a write started before.
  Status Drain() {
    if (!failure_.ok()) return failure_;
    const std::size_t count = static_cast<std::size_t>(pptr() - pbase());
    failure_ = StartOutputTargetWrite(target_, std::string_view(pbase(), count));
    filling_ = 1 - filling_;
    setp(buffers_[filling_].get(), buffers_[filling_].get() + kBufferBytes);
    return failure_;
  }

 protected:
  int_type overflow(int_type byte) override {
    if (!Drain().ok()) return traits_type::eof();
    if (traits_type::eq_int_type(byte, traits_type::eof())) return traits_type::not_eof(byte);
    *pptr() = traits_type::to_char_type(byte);
    pbump(1);
    return byte;
  }

  int sync() override { return Drain().ok() ? 0 : -1; }

 private:
  OutputTarget& target_;
  AlignedBuffer buffers_[2] = {NewAlignedBuffer(), NewAlignedBuffer()};
  int filling_ = 0;
  Status failure_;
};

// A signal removes the one new file it knows of, so only one output may be open.
bool gOutputOpen = false;

struct TargetCloser {
  void operator()(OutputTarget* target) const noexcept { CloseOutputTarget(target); }
};

}  // namespace

struct OutputFile {
  explicit OutputFile(OutputTarget& opened) : target(opened), buffer(opened), stream(&buffer) {}
  // The target waits for a write that may still read a buffer before the buffers go.
  ~OutputFile() { CloseOutputTarget(&target); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  OutputTarget& target;
  DoubleBuffer buffer;
  std::ostream stream;
};

void OutputFileDeleter::operator()(OutputFile* file) const noexcept {
  delete file;
  gOutputOpen = false;
}

Status UnwritableOutput(const std::string& path, std::string_view reason) {
  return Status::Error(Status::Code::kWriteError,
                       "cannot write '" + path + "': " + std::string(reason));
}

Status OpenOutputFile(const std::string& path, OutputFilePtr& file) {
  if (gOutputOpen) return UnwritableOutput(path, "another output file is open");
  std::unique_ptr<OutputTarget, TargetCloser> target(NewOutputTarget(path));  // until the file
  Status status = OpenOutputTarget(*target);                                  // holds it
  if (!status.ok()) return status;
  file.reset(new OutputFile(*target));
  target.release();
  gOutputOpen = true;
  return Status::Ok();
}

std::ostream& OutputFileStream(OutputFile& file) { return file.stream; }

Status CommitOutputFile(OutputFile& file) {
  Status drained = file.buffer.Drain();
  if (!drained.ok()) return drained;
  return CommitOutputTarget(file.target);
}

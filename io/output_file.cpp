#include "io/output_file.h"

#include "io/output_file_platform.h"

namespace {

// A signal removes the one temporary file it knows of, so only one output may be open.
bool gOutputOpen = false;

}  // namespace

void OutputFileDeleter::operator()(OutputFile* file) const noexcept {
  DeleteOutputFile(file);
  gOutputOpen = false;
}

OutputFilePtr OpenOutputFile(const std::string& path, std::string& error) {
  if (gOutputOpen) {
    error = "another output file is open";
    return nullptr;
  }
  gOutputOpen = true;
  OutputFilePtr file(NewOutputFile());
  if (!OpenOutputFileAt(*file, path)) {
    error = OutputFileError(*file);
    return nullptr;
  }
  return file;
}

#include "io/input_file.h"

#include "io/input_file_platform.h"

Status UnreadableInput(const std::string& path, std::string_view reason) {
  return Status::Error(Status::Code::kReadError,
                       "cannot read '" + path + "': " + std::string(reason));
}

Status CheckInputFileUnchanged(const InputFile& file) {
  InputFileState now;
  if (InputFileStateAt(file.path, now) && now == file.opened) return Status::Ok();
  return UnreadableInput(file.path, "the file changed while it was read");
}

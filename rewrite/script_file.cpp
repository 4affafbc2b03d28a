#include "rewrite/script_file.h"

#include "io/input_file.h"
#include "io/output_file.h"

namespace {

Status Failure(Status::Code code, std::string message) {
  return Status::Error(code, std::move(message));
}

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
    return Failure(Code::kNotFound, "'" + inputPath + "' holds no \"create procedure \"");
  }
  OutputFilePtr out;
  Status opened = OpenOutputFile(outputPath, out);
  if (!opened.ok()) return opened;
  // A failure leaves the output uncommitted: its new file goes, the path is untouched.
  Status scanned = ScanScript(scriptText, tables, OutputFileStream(*out), skipped);
  if (!scanned.ok()) return scanned;
  // The scan has used the text's last byte: a script that changed meanwhile may be a splice of
  // the old and the new one.
  Status unchanged = CheckInputFileUnchanged(script);
  if (!unchanged.ok()) return unchanged;
  return CommitOutputFile(*out);
}

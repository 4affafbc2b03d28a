// The transformer's file layer: reads a script whole, has it scanned and rewritten, and writes the
// result to the output file, which takes the place of the old one only when it is whole
// (io/output_file.h). It prints nothing; the caller turns each outcome into the words the
// administrator sees.
#pragma once

#include <string>

#include "rewrite/scan.h"

// Reads `inputPath` whole, rewrites it and writes the result to `outputPath`, which may be the
// input: the output path holds either its old content (or nothing) or the whole new script.
// Appends to `skipped` the procedures that had to be copied as they stand (see ScanScript).
//
// Fails, leaving the output path as it was, with
//   kInvalidArgument  when a path or the table set is empty (no file is looked at);
//   kReadError        when the input cannot be opened or read, or changed while it was read;
//   kNotFound         when the input holds no "create procedure ";
//   kMalformed        when the script ends with the create keyword itself;
//   kWriteError       when the output cannot be created, written or made to take the path's
//                     place.
Status TransformScript(const std::string& inputPath, const NoIdentityTableSet& tables,
                       const std::string& outputPath, SkippedProcedures& skipped);

// The transformer's file layer: reads a script whole, has it scanned and rewritten, and writes the
// result to the output file, which takes the place of the old one only when it is whole
// (io/output_file.h). It prints nothing; the caller turns each outcome into the words the
// administrator sees.
#pragma once

#include <string>

#include "rewrite/scan.h"

enum class TransformOutcome {
  kNotRun,        // a path or the table set is empty: no file was looked at
  kDone,          // the output holds the whole rewritten script
  kCannotRead,    // the input cannot be opened or read (a directory, say), or became shorter
                  // while it was read; the output was not touched
  kNoProcedures,  // the input holds no "create procedure "; the output was not touched
  kCannotWrite,   // the output cannot be created, or a write to it failed; a regular file
                  // output was not touched
};

// Reads `inputPath` whole, rewrites it and writes the result to `outputPath`, which may be the
// input: the output path holds either its old content (or nothing) or the whole new script.
//
// A script that ends with the create keyword itself raises std::out_of_range; the output is
// then left as it was, and so it is on any other exception.
TransformOutcome TransformScript(const std::string& inputPath, const NoIdentityTableSet& tables,
                                 const std::string& outputPath);

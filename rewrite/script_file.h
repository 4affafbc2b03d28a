// The transformer's file layer: reads a script whole, lower-cased, has it scanned and
// rewritten, and writes the result to the output file. It prints nothing; the caller turns
// each outcome into the words the administrator sees.
#pragma once

#include <string>

#include "rewrite/scan.h"

enum class TransformOutcome {
  kNotRun,        // a path or the table set is empty: no file was looked at
  kDone,          // the output holds the rewritten script
  kCannotRead,    // the input cannot be opened or read (a directory, say)
  kNoProcedures,  // the input holds no "create procedure "; the output was not touched
  kCannotWrite,   // the output cannot be created, or a write to it failed
};

// Reads `inputPath` whole, rewrites it and writes the result to `outputPath`.
//
// Malformed input that a cut cannot handle (the keyword at the very end of the script, a
// procedure name shorter than nine bytes, an update procedure whose kept block has no "go"
// after it) raises std::out_of_range; the output file is closed on the way out and keeps what
// was written.
TransformOutcome TransformScript(const std::string& inputPath, const NoIdentityTableSet& tables,
                                 const std::string& outputPath);

// Lower-cases A-Z in place; every other byte is left as it is.
void LowerCaseScript(std::string& scriptText);

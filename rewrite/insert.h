#pragma once

#include "rewrite/scan.h"

// Rewrites the insert procedure at the start of scan.scriptText.
//
// Writes the framing first, then:
// - when "set identity_insert " stands anywhere in the rest of the script, the text before it,
//   leaving scriptText at it (next procedure);
// - otherwise, when the first "begin", "insert", "\nend" and "go" of the rest are all found and
//   in that order, the text before "insert", the switch-on line, the insert statement (up to
//   the line feed before "end"), the switch-off line and "end\ngo\n", leaving scriptText three
//   bytes after "go", or empty when fewer bytes remain (next procedure). The switch lines are
//   written only when the table is not in scan.tables;
// - otherwise nothing more (pass the rest and stop).
// A refused write ends with stop.
ProcedureEnding RewriteInsertProcedure(ScriptScan& scan, const ProcedureFrame& frame);

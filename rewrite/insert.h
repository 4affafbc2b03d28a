// The insert-procedure rewrite.
#pragma once

#include <set>
#include <string>

#include "rewrite/cursor.h"

// Lower-case names of the tables that have no identity column, ordered byte-wise.
using NoIdentityTableSet = std::set<std::string>;

// The insert rewrite's searches, whose answers are kept from one procedure to the next.
struct InsertSearches {
  ForwardSearch identityInsert{"set identity_insert "};
};

// Rewrites the insert procedure at the start of cursor.rest, which begins with
// "create procedure ". Writes the framing first, then:
// - when "set identity_insert " stands anywhere in the rest of the script, the text before it,
//   leaving the rest at it (kNextProcedure);
// - otherwise, when the first "begin", "insert", "\nend" and "go" of the rest are all found and
//   in that order, the text before "insert", the switch-on line
//   "\tset identity_insert  <table> ON\n\n", the insert statement (up to the line feed before
//   "end"), the switch-off line (the same with OFF) and "end\ngo\n", leaving the rest one byte
//   after the line's "go", or empty when fewer bytes remain (kNextProcedure). The switch lines
//   are written only when the table is not in `tables`;
// - otherwise nothing more (kPassRestAndStop).
// A refused write ends with kStop.
ProcedureEnding RewriteInsertProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       const NoIdentityTableSet& tables, InsertSearches& searches);

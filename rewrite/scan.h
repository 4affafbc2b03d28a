// The scan: finds each "create procedure " (in any case) that stands in code (not in a comment,
// a string or a quoted name) of a script, copies the text before it, cuts the procedure's name
// and kind and hands the procedure, which ends at its GO line, to the rewrite for its kind
// (delete.h, insert.h, update.h), until the script ends. Other procedures are copied as they
// stand through their GO line; one procedure never ends the scan.
//
// The scan and the rewrites advance views into the one script buffer and never copy the rest
// of it. Searches that may run to the end of the script keep their answer while it lies ahead
// (ForwardSearch), so a scan is linear in the size of the script.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "io/status.h"
#include "rewrite/insert.h"

// A procedure of a kind the rewrites handle (insert, update, delete) that was copied as it
// stands because its own markers are missing or out of order: it will still fail at the
// subscriber. The forms that are copied by design (a delete without a row-count test, an update
// without "if substring", an insert that switches already) are not skipped procedures.
struct SkippedProcedure {
  std::string name;    // as the create line writes it, in its own case
  std::string reason;  // why, as "no end after its insert statement"
};
using SkippedProcedures = std::vector<SkippedProcedure>;

// Writes the rewritten form of `scriptText` to `out`, lower-cased (A-Z) but for the texts the
// rewrites add, and appends to `skipped` each procedure it had to copy as it stands. Text after
// the last procedure is written too. Stops early when `out` fails; the caller's stream knows
// why. Fails with kMalformed, having written the procedures before it, when the create keyword
// is the very end of the script.
Status ScanScript(std::string_view scriptText, const NoIdentityTableSet& tables, std::ostream& out,
                  SkippedProcedures& skipped);

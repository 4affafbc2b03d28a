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
#include <string_view>

#include "rewrite/insert.h"

// Writes the rewritten form of `scriptText` to `out`, lower-cased (A-Z) but for the texts the
// rewrites add. Text after the last procedure is written too. Stops early, without a word, when
// `out` fails. Throws std::out_of_range when the create keyword is the very end of the script.
void ScanScript(std::string_view scriptText, const NoIdentityTableSet& tables, std::ostream& out);

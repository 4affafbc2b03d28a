// The update-procedure rewrite.
//
// An update procedure whose "if substring" test stands before its first "update" (the form
// older SQL Server versions generate) keeps its head up to that test and its second block:
// the text from the first "begin" after the first update's "@@rowcount" up to the next "go".
// Any other update procedure is copied up to its first "go". Both are written after their
// framing (see WriteFraming).
#pragma once

#include "rewrite/cursor.h"

// The update rewrite's searches, whose answers are kept from one procedure to the next.
struct UpdateSearches {
  ForwardSearch ifSubstring{"if substring"};
};

// Rewrites the update procedure at the start of cursor.rest, which begins with
// "create procedure ". Leaves the rest at the "go" that ends the procedure and ends with
// kNextProcedure; the scan writes the "go" with the text that follows.
//
// Ends with kPassRestAndStop, after writing the framing (and in the first form the head),
// when the markers are missing or out of order, and with kStop when a write is refused.
// Throws std::out_of_range, after writing the kept block to the end of the script, when no
// "go" follows the kept "begin".
ProcedureEnding RewriteUpdateProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       UpdateSearches& searches);

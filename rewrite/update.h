// The update-procedure rewrite.
//
// An update procedure whose "if substring" test stands before its first "update" (the form
// older SQL Server versions generate) keeps its head up to that test and its second block:
// the text from the first "begin" after the first update's "@@rowcount" up to its GO line.
// Any other update procedure is copied up to its GO line. Both are written after their
// framing (see WriteFraming). The landmarks are words that stand in code (lexical.h's
// ProcedureWords): a column BeginBalance or a comment holding "update" is none.
#pragma once

#include "rewrite/cursor.h"

// Rewrites the update procedure at the start of cursor.rest, which begins with
// "create procedure " and ends at frame.goPos. Leaves the rest at the letters of the GO line
// (the scan writes them with the text that follows) and ends with kNextProcedure; a procedure
// with "if substring" only after its first "update" is thus copied unchanged. One without
// "update", or in the first form without "@@rowcount" followed by "begin" after its first
// "update", is copied unchanged through its GO line, saying why (CopyAsItStands). Either way
// after the framing. Ends with kStop when a write is refused.
ProcedureEnding RewriteUpdateProcedure(ScriptCursor& cursor, const ProcedureFrame& frame);

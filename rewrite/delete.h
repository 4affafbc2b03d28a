#pragma once

#include "rewrite/scan.h"

// Rewrites the delete procedure at the start of scan.scriptText, which begins with
// "create procedure ".
//
// A generated delete procedure tests "if @@rowcount = 0" and raises error 20598 when no row was
// deleted. When the first "go" (anywhere, also inside a word) comes after that test, the
// procedure is written after its framing (see WriteProcedureFraming) with the test in a block
// comment: "/*-D- " right before "if", and " -D-*/\n \n " right after the number "20598".
// Since SQL Server 2014 the number sits inside a longer statement within a Begin ... End block
// (the rest of the number's line is not blank, or a "begin" stands between the test and the
// number); the comment then closes right after the last non-blank byte before the procedure's
// final "end" line: of the lines after the number's line and before the first line after the
// test that holds "go" alone, the last whose first word after blanks and tabs is "end".
//
// The procedure is copied unchanged, without framing, when it has no test, when "go" comes first,
// when no "20598" follows the test or it lies beyond the next "go" line, and, in the 2014 form,
// when there is no "go" line or no final "end" line. Either way the procedure is then written
// through the first "go" after what was written (next procedure); without such a "go", or when
// the rest begins with it, the rest is passed through (pass the rest and stop). A refused write
// stops the scan.
ProcedureEnding RewriteDeleteProcedure(ScriptScan& scan, const ProcedureFrame& frame);

// The delete-procedure rewrite.
//
// A delete procedure that SQL Server generates tests "if @@rowcount = 0" after its delete
// statement and raises error 20598 when no row was deleted. The rewrite writes such a
// procedure after its framing (see WriteFraming) with the whole IF statement that the test
// opens in a block comment, so that a row already missing at the subscriber is no error:
// "/*-D- " right before "if", and " -D-*/\n \n " right after the statement's last byte (after
// the number 20598 up to SQL Server 2012, after the End of the Begin block since 2014).
// The test and the number are words that stand in code (lexical.h's ProcedureWords), so a
// script fed through again, whose test stands inside the old comment, is left as it is. A
// procedure without the test, whose IF statement does not end before the GO line, does not
// hold 20598, or cannot be enclosed in one block comment, is copied unchanged and without
// framing (saying why, CopyAsItStands, but for the one without a test, a form of its own).
// Either way the procedure is written through the letters of its GO line.
#pragma once

#include "rewrite/cursor.h"

// Rewrites the delete procedure at the start of cursor.rest, which begins with
// "create procedure " and ends at frame.goPos. Ends with kNextProcedure once the procedure is
// written through its GO line, or with kStop when a write is refused.
ProcedureEnding RewriteDeleteProcedure(ScriptCursor& cursor, const ProcedureFrame& frame);

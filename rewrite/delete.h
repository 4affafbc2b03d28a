// The delete-procedure rewrite.
//
// A delete procedure that SQL Server generates tests "if @@rowcount = 0" after its delete
// statement and raises error 20598 when no row was deleted. The rewrite writes such a
// procedure after its framing (see WriteFraming) with the test in a block comment, so that a
// row already missing at the subscriber is no error:
//   "/*-D- " right before "if", and " -D-*/\n \n " right after the test, that is after the
//   number 20598 up to SQL Server 2012, or after the last byte before the procedure's final
//   "end" line when the number sits inside a Begin ... End block (SQL Server 2014 and later).
// A procedure without the test, without the number after it, or of a shape the rewrite cannot
// close a comment in, is copied unchanged and without framing. Either way the procedure is
// written through its "go", and the scan goes on after it.
#pragma once

#include "rewrite/cursor.h"

// The delete rewrite's searches, whose answers are kept from one procedure to the next.
struct DeleteSearches {
  ForwardSearch rowcountTest{"if @@rowcount = 0"};
  ForwardSearch errorNumber{"20598"};
  // Views start at the test, at the end of the number or at a line start, and move forward
  // procedure by procedure.
  ForwardSearch begin{"begin"};
  ForwardSearch lineFeed{"\n"};
  ForwardSearch nonBlank;
  ForwardSearch goLine;
  BackwardSearch finalEnd;
};

// Rewrites the delete procedure at the start of cursor.rest, which begins with
// "create procedure ". Ends with kNextProcedure once the procedure is written through the first
// "go" after what was written; with kPassRestAndStop when there is no such "go" or the rest
// begins with it; with kStop when a write is refused.
ProcedureEnding RewriteDeleteProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       DeleteSearches& searches);

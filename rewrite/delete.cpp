#include "rewrite/delete.h"

#include "rewrite/tsql.h"

namespace {

const Needle kRowcountTest("if @@rowcount = 0");
const Needle kErrorNumber("20598");
constexpr std::string_view kOpeningMarker = "/*-D- ";
constexpr std::string_view kClosingText = " -D-*/\n \n ";

// Writes rest[0, count) followed by `marker` and drops those bytes. The marker holds no
// carriage return, so no blank-line run can span the two, and writing them one after the other
// gives the bytes of writing them as one piece without copying the procedure.
bool WriteWithMarker(ScriptCursor& cursor, std::size_t count, std::string_view marker) {
  return WriteAndAdvance(cursor, count) && WriteAddedText(cursor.out, marker);
}

// Length of the IF statement that the test at the start of `fromTest` opens, when the rewrite
// can enclose it: it ends inside `fromTest` (which ends at the procedure's GO line), raises
// 20598 and closes as one block comment. kNotFound otherwise (peer-to-peer procedures, for
// one, test the row count without raising 20598).
std::size_t CommentedLength(std::string_view fromTest) {
  const IfStatement statement = ReadIfStatement(fromTest);
  if (statement.end == kNotFound || !statement.closable) return kNotFound;
  if (FindText(fromTest.substr(0, statement.end), kErrorNumber) == kNotFound) return kNotFound;
  return statement.end;
}

}  // namespace

ProcedureEnding RewriteDeleteProcedure(ScriptCursor& cursor, const ProcedureFrame& frame) {
  const std::size_t test = FindBefore(cursor.rest, kRowcountTest, frame.goPos);
  if (test == kNotFound) return CopyThroughGo(cursor, frame.goPos);
  const std::size_t length = CommentedLength(cursor.rest.substr(test, frame.goPos - test));
  if (length == kNotFound) return CopyThroughGo(cursor, frame.goPos);
  if (!WriteFraming(cursor, frame) || !WriteWithMarker(cursor, test, kOpeningMarker) ||
      !WriteWithMarker(cursor, length, kClosingText)) {
    return ProcedureEnding::kStop;
  }
  return CopyThroughGo(cursor, frame.goPos - test - length);
}

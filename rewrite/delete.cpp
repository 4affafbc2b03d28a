#include "rewrite/delete.h"

#include "rewrite/lexical.h"
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

// Length of the IF statement that the test at `test` opens, when the rewrite can enclose it: it
// ends before the procedure's GO line, raises 20598 (in code) and closes as one block comment.
// Otherwise kNotFound, and `whyNot` says which of these fails (peer-to-peer procedures, for
// one, test the row count without raising 20598).
std::size_t CommentedLength(ProcedureWords& words, std::string_view procedure, std::size_t test,
                            std::string_view& whyNot) {
  const IfStatement statement = ReadIfStatement(procedure.substr(test));
  if (statement.end == kNotFound) {
    whyNot = "its row-count test does not end before its go line";
  } else if (!statement.closable) {
    whyNot = "its row-count test cannot be enclosed in a comment";
  } else if (words.Find(kErrorNumber, test, test + statement.end) == kNotFound) {
    whyNot = "no 20598 in its row-count test";
  } else {
    return statement.end;
  }
  return kNotFound;
}

}  // namespace

ProcedureEnding RewriteDeleteProcedure(ScriptCursor& cursor, const ProcedureFrame& frame) {
  const std::string_view procedure = cursor.rest.substr(0, frame.goPos);
  ProcedureWords words(procedure);
  const std::size_t test = words.Find(kRowcountTest);
  if (test == kNotFound) return CopyThroughGo(cursor, frame.goPos);
  std::string_view whyNot;
  const std::size_t length = CommentedLength(words, procedure, test, whyNot);
  if (length == kNotFound) return CopyAsItStands(cursor, frame.goPos, whyNot);
  if (!WriteFraming(cursor, frame) || !WriteWithMarker(cursor, test, kOpeningMarker) ||
      !WriteWithMarker(cursor, length, kClosingText)) {
    return ProcedureEnding::kStop;
  }
  return CopyThroughGo(cursor, frame.goPos - test - length);
}

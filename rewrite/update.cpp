#include "rewrite/update.h"

#include "rewrite/lexical.h"

namespace {

const Needle kUpdate("update");
const Needle kIfSubstring("if substring");
const Needle kRowcount("@@rowcount");
const Needle kBegin("begin");

// Where the kept block of the "if substring" form starts: the first "begin" after the first
// update (at updatePos) when a "@@rowcount" comes before it; kNotFound otherwise.
std::size_t FindKeptBlock(ProcedureWords& words, std::size_t updatePos) {
  const std::size_t rowcountPos = words.Find(kRowcount, updatePos);
  if (rowcountPos == kNotFound) return kNotFound;
  const std::size_t beginPos = words.Find(kBegin, updatePos);
  if (beginPos == kNotFound || beginPos <= rowcountPos) return kNotFound;
  return beginPos;
}

// The "if substring" form, whose test stands at substringPos before the first update at
// updatePos: writes the head up to the test, drops the test with the first update statement and
// its "@@rowcount" check, and writes the kept block up to the GO line.
ProcedureEnding RewriteIfSubstringForm(ScriptCursor& cursor, ProcedureWords& words,
                                       std::size_t goPos, std::size_t substringPos,
                                       std::size_t updatePos) {
  const std::size_t keptFrom = FindKeptBlock(words, updatePos);
  if (keptFrom == kNotFound) return CopyAsItStands(cursor, goPos, "its second block is missing");
  if (!WriteScriptPiece(cursor.out, cursor.rest.substr(0, substringPos)))
    return ProcedureEnding::kStop;
  cursor.rest.remove_prefix(keptFrom);
  return NextUnlessRefused(WriteAndAdvance(cursor, goPos - keptFrom));
}

}  // namespace

ProcedureEnding RewriteUpdateProcedure(ScriptCursor& cursor, const ProcedureFrame& frame) {
  if (!WriteFraming(cursor, frame)) return ProcedureEnding::kStop;

  ProcedureWords words(cursor.rest.substr(0, frame.goPos));
  const std::size_t updatePos = words.Find(kUpdate);
  if (updatePos == kNotFound) return CopyAsItStands(cursor, frame.goPos, "no update statement");
  const std::size_t substringPos = words.Find(kIfSubstring, 0, updatePos);
  if (substringPos != kNotFound)
    return RewriteIfSubstringForm(cursor, words, frame.goPos, substringPos, updatePos);
  // Copied up to the GO line, whose letters go out with the text after them: the same bytes
  // as a copy through them, since no run of blank lines reaches across "go".
  return NextUnlessRefused(WriteAndAdvance(cursor, frame.goPos));
}

#include "rewrite/update.h"

namespace {

const Needle kUpdate("update");
const Needle kIfSubstring("if substring");
const Needle kRowcount("@@rowcount");
const Needle kBegin("begin");

// Where the kept block of the "if substring" form starts in `procedure`: the first "begin"
// after the first update (at updatePos) when a "@@rowcount" comes before it; kNotFound
// otherwise.
std::size_t FindKeptBlock(std::string_view procedure, std::size_t updatePos) {
  const std::string_view fromUpdate = procedure.substr(updatePos);
  const std::size_t rowcountPos = FindText(fromUpdate, kRowcount);
  const std::size_t beginPos = FindText(fromUpdate, kBegin);
  if (rowcountPos == kNotFound || beginPos == kNotFound || beginPos <= rowcountPos)
    return kNotFound;
  return updatePos + beginPos;
}

// The "if substring" form, whose test stands at substringPos before the first update at
// updatePos: writes the head up to the test, drops the test with the first update statement and
// its "@@rowcount" check, and writes the kept block up to the GO line.
ProcedureEnding RewriteIfSubstringForm(ScriptCursor& cursor, std::size_t goPos,
                                       std::size_t substringPos, std::size_t updatePos) {
  const std::size_t keptFrom = FindKeptBlock(cursor.rest.substr(0, goPos), updatePos);
  if (keptFrom == kNotFound) return CopyThroughGo(cursor, goPos);
  if (!WriteScriptPiece(cursor.out, cursor.rest.substr(0, substringPos)))
    return ProcedureEnding::kStop;
  cursor.rest.remove_prefix(keptFrom);
  return NextUnlessRefused(WriteAndAdvance(cursor, goPos - keptFrom));
}

}  // namespace

ProcedureEnding RewriteUpdateProcedure(ScriptCursor& cursor, const ProcedureFrame& frame) {
  if (!WriteFraming(cursor, frame)) return ProcedureEnding::kStop;

  const std::size_t updatePos = FindText(cursor.rest.substr(0, frame.goPos), kUpdate);
  if (updatePos == kNotFound) return CopyThroughGo(cursor, frame.goPos);
  const std::size_t substringPos = FindBefore(cursor.rest, kIfSubstring, updatePos);
  if (substringPos != kNotFound)
    return RewriteIfSubstringForm(cursor, frame.goPos, substringPos, updatePos);
  // Copied up to the GO line, whose letters go out with the text after them: the same bytes
  // as a copy through them, since no run of blank lines reaches across "go".
  return NextUnlessRefused(WriteAndAdvance(cursor, frame.goPos));
}

#include "rewrite/scan.h"

#include "rewrite/cursor.h"
#include "rewrite/delete.h"
#include "rewrite/name.h"
#include "rewrite/tsql.h"
#include "rewrite/update.h"

namespace {

// The searches of one scan whose answers are kept from one procedure to the next, and the
// frame of the procedure at hand, whose texts keep their memory.
struct ScanSearches {
  explicit ScanSearches(std::string_view script) : createKeyword(script, kCreateKeyword) {}

  CodeSearch createKeyword;
  ForwardSearch objectComment{"/****** object"};
  NameSearches name;
  ProcedureFrame frame;
};

// Hands the procedure at the start of the rest to the rewrite for its kind. A procedure that is
// not a replication procedure, or of another kind, is copied unchanged through its GO line.
ProcedureEnding HandleProcedure(ScriptCursor& cursor, const NoIdentityTableSet& foldedTables,
                                ScanSearches& searches) {
  const std::size_t goLine = searches.createKeyword.GoLineIn(cursor.rest);
  const std::size_t goPos = goLine == kNotFound ? cursor.rest.size() : goLine;
  ProcedureFrame& frame = searches.frame;
  if (!CutProcedureName(cursor.rest, searches.name, frame)) return CopyThroughGo(cursor, goPos);
  frame.goPos = goPos;
  frame.objectCommentFollows = searches.objectComment.In(cursor.rest) != kNotFound;
  if (frame.procKind == "del") return RewriteDeleteProcedure(cursor, frame);
  if (frame.procKind == "ins") return RewriteInsertProcedure(cursor, frame, foldedTables);
  if (frame.procKind == "upd") return RewriteUpdateProcedure(cursor, frame);
  return CopyThroughGo(cursor, goPos);
}

}  // namespace

Status ScanScript(std::string_view scriptText, const NoIdentityTableSet& tables, std::ostream& out,
                  SkippedProcedures& skipped) {
  ScriptCursor cursor{scriptText, out};
  ScanSearches searches(scriptText);
  const NoIdentityTableSet foldedTables = CaseFoldedTables(tables);
  while (!cursor.rest.empty()) {
    const std::size_t keyword = searches.createKeyword.In(cursor.rest);
    if (keyword == kNotFound) {
      WriteScriptPiece(out, cursor.rest);
      return Status::Ok();
    }
    if (keyword + kCreateKeyword.size() + 1 > cursor.rest.size()) {
      return Status::Error(Status::Code::kMalformed, "the script ends with \"create procedure\"");
    }
    if (!WriteAndAdvance(cursor, keyword)) return Status::Ok();
    if (HandleProcedure(cursor, foldedTables, searches) == ProcedureEnding::kStop)
      return Status::Ok();
    if (!cursor.copiedBecause.empty()) {
      skipped.push_back({std::string(searches.frame.nameText), std::string(cursor.copiedBecause)});
      cursor.copiedBecause = {};
    }
  }
  return Status::Ok();
}

#include "rewrite/scan.h"

#include <stdexcept>

#include "rewrite/cursor.h"
#include "rewrite/delete.h"
#include "rewrite/name.h"
#include "rewrite/update.h"

namespace {

// The searches of one scan whose answers are kept from one procedure to the next.
struct ScanSearches {
  ForwardSearch objectComment{"/****** object"};
  NameSearches name;
  DeleteSearches deletes;
  InsertSearches inserts;
  UpdateSearches updates;
};

ProcedureEnding HandleProcedure(ScriptCursor& cursor, const NoIdentityTableSet& tables,
                                ScanSearches& searches) {
  ProcedureFrame frame;
  if (!CutProcedureName(cursor.rest, searches.name, frame)) return ProcedureEnding::kPassRestAndStop;
  frame.objectCommentFollows = searches.objectComment.In(cursor.rest) != kNotFound;
  if (frame.procKind == "del") return RewriteDeleteProcedure(cursor, frame, searches.deletes);
  if (frame.procKind == "ins") return RewriteInsertProcedure(cursor, frame, tables, searches.inserts);
  if (frame.procKind == "upd") return RewriteUpdateProcedure(cursor, frame, searches.updates);
  return ProcedureEnding::kPassRestAndStop;
}

}  // namespace

void ScanScript(std::string_view scriptText, const NoIdentityTableSet& tables, std::ostream& out) {
  ScriptCursor cursor{scriptText, out};
  ScanSearches searches;
  while (!cursor.rest.empty()) {
    const std::size_t keyword = FindText(cursor.rest, kCreateKeyword);
    if (keyword == kNotFound) {
      WriteScriptPiece(out, cursor.rest);
      return;
    }
    if (keyword + kCreateKeyword.size() + 1 > cursor.rest.size()) {
      throw std::out_of_range("create keyword at the end of the script");  // before any write
    }
    if (!WriteAndAdvance(cursor, keyword)) return;
    switch (HandleProcedure(cursor, tables, searches)) {
      case ProcedureEnding::kNextProcedure:
        break;
      case ProcedureEnding::kStop:
        return;
      case ProcedureEnding::kPassRestAndStop:
        WriteScriptPiece(out, cursor.rest);
        return;
    }
  }
}

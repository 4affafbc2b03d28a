#include "rewrite/insert.h"

#include <algorithm>
#include <initializer_list>
#include <string>

namespace {

constexpr std::string_view kIdentityInsert = "set identity_insert ";
constexpr std::string_view kProcedureEnd = "end\ngo\n";

// "\tset identity_insert  <table> ON\n\n": the keyword's own blank and the line's blank make
// two before the table name.
std::string IdentitySwitchLine(const std::string& tableName, std::string_view state) {
  std::string line = "\t";
  line.append(kIdentityInsert).append(" ").append(tableName).append(" ");
  line.append(state).append("\n\n");
  return line;
}

// Positions of the insert statement's landmarks: each the first occurrence in the text.
struct InsertMarkers {
  std::size_t insertPos;
  std::size_t endPos;  // the line feed of "\nend"
  std::size_t goPos;
};

// True when "begin", "insert", "\nend" and "go" are all found, in this order. Each search stops
// at its first match, so on success none of them has looked past "go".
bool FindInsertMarkers(std::string_view text, InsertMarkers& markers) {
  const std::size_t beginPos = FindText(text, "begin");
  markers.insertPos = FindText(text, "insert");
  markers.endPos = FindText(text, "\nend");
  markers.goPos = FindText(text, kGo);
  return beginPos != kNotFound && markers.insertPos != kNotFound && markers.endPos != kNotFound &&
         markers.goPos != kNotFound && beginPos < markers.insertPos &&
         markers.insertPos < markers.endPos && markers.endPos < markers.goPos;
}

}  // namespace

ProcedureEnding RewriteInsertProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       const NoIdentityTableSet& tables, InsertSearches& searches) {
  if (!WriteFraming(cursor, frame)) return ProcedureEnding::kStop;

  // A procedure that already switches is left as it is: the text from the switch on reaches
  // the output with the text before the next procedure. Tested before the other searches,
  // which could otherwise run to the end of the script for every procedure.
  const std::size_t identityPos = searches.identityInsert.In(cursor.rest);
  if (identityPos != kNotFound) {
    return WriteAndAdvance(cursor, identityPos) ? ProcedureEnding::kNextProcedure
                                                : ProcedureEnding::kStop;
  }

  InsertMarkers markers;
  if (!FindInsertMarkers(cursor.rest, markers)) return ProcedureEnding::kPassRestAndStop;

  std::string onLine, offLine;
  if (!tables.contains(frame.tableName)) {
    onLine = IdentitySwitchLine(frame.tableName, "ON");
    offLine = IdentitySwitchLine(frame.tableName, "OFF");
  }
  const std::string_view text = cursor.rest;
  const std::string_view statement =
      text.substr(markers.insertPos, markers.endPos - markers.insertPos);
  for (std::string_view piece : {text.substr(0, markers.insertPos), std::string_view(onLine),
                                 statement, std::string_view(offLine), kProcedureEnd}) {
    if (!WriteScriptPiece(cursor.out, piece)) return ProcedureEnding::kStop;
  }
  // The "go" goes, and the byte after it, which ends its line (or is the CR of a CR LF); a
  // script that ends sooner leaves nothing.
  const std::size_t afterGoLineByte = markers.goPos + kGo.size() + 1;
  cursor.rest.remove_prefix(std::min(afterGoLineByte, text.size()));
  return ProcedureEnding::kNextProcedure;
}

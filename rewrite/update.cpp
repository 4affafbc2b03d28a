#include "rewrite/update.h"

#include <stdexcept>

namespace {

constexpr std::string_view kUpdate = "update";

// From "if substring" (at substringPos, before the first "update" at updatePos): writes the
// head, drops the test with the first update statement and its "@@rowcount" check, and
// writes the block from the next "begin" up to the next "go".
ProcedureEnding RewriteIfSubstringForm(ScriptCursor& cursor, std::size_t substringPos, std::size_t updatePos) {
  if (!WriteAndAdvance(cursor, substringPos)) return ProcedureEnding::kStop;
  cursor.rest.remove_prefix(updatePos - substringPos);

  const std::size_t beginPos = FindText(cursor.rest, "begin");
  const std::size_t rowcountPos = FindText(cursor.rest, "@@rowcount");
  const std::size_t goPos = FindText(cursor.rest, kGo);
  if (rowcountPos == kNotFound || beginPos == kNotFound || beginPos <= rowcountPos ||
      goPos == kNotFound || goPos <= rowcountPos) {
    return ProcedureEnding::kPassRestAndStop;
  }
  cursor.rest.remove_prefix(beginPos);

  // The "go" above may stand before the kept "begin"; then this one may be missing, and the
  // block runs to the end of the script.
  const std::size_t blockEnd = FindText(cursor.rest, kGo);
  if (!WriteScriptPiece(cursor.out, cursor.rest.substr(0, blockEnd))) return ProcedureEnding::kStop;
  if (blockEnd == kNotFound) throw std::out_of_range("no \"go\" after the kept block of an update procedure");
  cursor.rest.remove_prefix(blockEnd);
  return ProcedureEnding::kNextProcedure;
}

}  // namespace

ProcedureEnding RewriteUpdateProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       UpdateSearches& searches) {
  if (!WriteFraming(cursor, frame)) return ProcedureEnding::kStop;

  // "if substring" usually stands far ahead or nowhere, so its answer is kept across procedures.
  const std::size_t substringPos = searches.ifSubstring.In(cursor.rest);
  const std::size_t updatePos = FindText(cursor.rest, kUpdate);
  const std::size_t goPos = FindText(cursor.rest, kGo);
  if (updatePos == kNotFound || goPos == kNotFound || goPos <= updatePos) {
    return ProcedureEnding::kPassRestAndStop;
  }
  if (substringPos < updatePos) return RewriteIfSubstringForm(cursor, substringPos, updatePos);
  if (substringPos != kNotFound && substringPos < goPos) return ProcedureEnding::kPassRestAndStop;

  // Every other update procedure, the principal-roles ones (sp_msupd_wfxprincipalroles,
  // sp_msupd_dbowfxprincipalroles) included, is copied up to its first "go".
  if (!WriteAndAdvance(cursor, goPos)) return ProcedureEnding::kStop;
  return ProcedureEnding::kNextProcedure;
}

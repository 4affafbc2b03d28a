#include "rewrite/update.h"

#include <stdexcept>

namespace {

constexpr std::string_view kUpdate = "update";
constexpr std::string_view kGo = "go";

// From "if substring" (at substringPos, before the first "update" at updatePos): writes the
// head, drops the test with the first update statement and its "@@rowcount" check, and
// writes the block from the next "begin" up to the next "go".
ProcedureEnding RewriteIfSubstringForm(ScriptScan& scan, std::size_t substringPos, std::size_t updatePos) {
  if (!WriteAndAdvance(scan, substringPos)) return ProcedureEnding::kStop;
  scan.scriptText.remove_prefix(updatePos - substringPos);

  const std::size_t beginPos = FindText(scan.scriptText, "begin");
  const std::size_t rowcountPos = FindText(scan.scriptText, "@@rowcount");
  const std::size_t goPos = FindText(scan.scriptText, kGo);
  if (rowcountPos == kNotFound || beginPos == kNotFound || beginPos <= rowcountPos ||
      goPos == kNotFound || goPos <= rowcountPos) {
    return ProcedureEnding::kPassRestAndStop;
  }
  scan.scriptText.remove_prefix(beginPos);

  // The "go" above may stand before the kept "begin"; then this one may be missing, and the
  // block runs to the end of the script.
  const std::size_t blockEnd = FindText(scan.scriptText, kGo);
  if (!WriteScriptPiece(scan.out, scan.scriptText.substr(0, blockEnd))) return ProcedureEnding::kStop;
  if (blockEnd == kNotFound) throw std::out_of_range("no \"go\" after the kept block of an update procedure");
  scan.scriptText.remove_prefix(blockEnd);
  return ProcedureEnding::kNextProcedure;
}

}  // namespace

ProcedureEnding RewriteUpdateProcedure(ScriptScan& scan, const ProcedureFrame& frame) {
  if (!WriteProcedureFraming(scan, frame)) return ProcedureEnding::kStop;

  // "if substring" usually stands far ahead or nowhere, so its answer is kept across procedures.
  const std::size_t substringPos = scan.searches.ifSubstring.In(scan.scriptText);
  const std::size_t updatePos = FindText(scan.scriptText, kUpdate);
  const std::size_t goPos = FindText(scan.scriptText, kGo);
  if (updatePos == kNotFound || goPos == kNotFound || goPos <= updatePos) {
    return ProcedureEnding::kPassRestAndStop;
  }
  if (substringPos < updatePos) return RewriteIfSubstringForm(scan, substringPos, updatePos);
  if (substringPos != kNotFound && substringPos < goPos) return ProcedureEnding::kPassRestAndStop;

  // Every other update procedure, the principal-roles ones (sp_msupd_wfxprincipalroles,
  // sp_msupd_dbowfxprincipalroles) included, is copied up to its first "go".
  if (!WriteAndAdvance(scan, goPos)) return ProcedureEnding::kStop;
  return ProcedureEnding::kNextProcedure;
}

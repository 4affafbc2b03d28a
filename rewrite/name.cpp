#include "rewrite/name.h"

#include <stdexcept>

namespace {

constexpr std::string_view kReplicationPrefix = "sp_ms";
constexpr std::size_t kKindBytes = 3;  // del, ins, upd
// The table follows the prefix, the kind and the "_" after it.
constexpr std::size_t kTableOffset = kReplicationPrefix.size() + kKindBytes + 1;
// The owner that SQL Server joins to the table in a procedure's name and that the cut drops.
constexpr std::string_view kDefaultOwner = "dbo";
// A name buffer holds 127 bytes and its terminating zero.
constexpr std::size_t kNameBytes = 127;

// Cuts the procedure's name out of the text after the create keyword: from "sp_ms" up to
// the line feed (or the end of the script when the line feed comes first or is missing),
// then before the last "]", then before the last double quote. `afterKeyword` is the text
// from one byte past the keyword to the end of the script; `spMs` is where "sp_ms" stands in
// it. A line feed right after that byte leaves the whole text as the name text.
std::string_view CutNameText(std::string_view afterKeyword, std::size_t spMs,
                             NameSearches& searches) {
  const std::size_t lineFeed = searches.lineFeed.In(afterKeyword);
  std::size_t start = 0;
  std::size_t end = afterKeyword.size();
  if (lineFeed > 0) {
    start = spMs;
    if (lineFeed != kNotFound && lineFeed > spMs) end = lineFeed;
  }
  const char* from = afterKeyword.data() + start;
  const char* to = afterKeyword.data() + end;
  NameSearches::LastMarks& marks =
      end == afterKeyword.size() ? searches.toScriptEnd : searches.toLineEnd;
  marks.Cover(from, to);
  // A mark counts only when it lies inside the name text and past its first byte.
  auto inside = [from](const char* mark) { return mark != nullptr && mark > from; };
  if (inside(marks.lastBracket)) {
    to = marks.lastBracket;
    if (inside(marks.quoteBeforeLastBracket)) to = marks.quoteBeforeLastBracket;
  } else if (inside(marks.lastQuote)) {
    to = marks.lastQuote;
  }
  return std::string_view(from, static_cast<std::size_t>(to - from));
}

// At most 127 bytes, ending before a zero byte, as a zero-terminated name buffer holds them.
std::string NameBuffer(std::string_view text) {
  text = text.substr(0, kNameBytes);
  return std::string(text.substr(0, text.find('\0')));
}

ProcedureFrame FrameProcedure(std::string_view nameText) {
  ProcedureFrame frame;
  frame.nameText = nameText;
  frame.procName = NameBuffer(nameText);
  if (!frame.procName.empty() && frame.procName.back() == ']') frame.procName.pop_back();
  frame.objectHeader = "/****** Object:  StoredProcedure [dbo].[ " + frame.procName + " ] ******/\n \n";
  frame.dropPreamble = "IF object_id('dbo.[" + frame.procName + "]') IS NOT NULL \n\tDROP PROCEDURE dbo.[" +
                       frame.procName + "]\nGO\n---------------------------\n";
  if (nameText.size() < kTableOffset) throw std::out_of_range("procedure name shorter than nine bytes");
  std::string_view tableText = nameText.substr(kTableOffset);
  if (tableText.starts_with(kDefaultOwner)) tableText.remove_prefix(kDefaultOwner.size());
  frame.tableName = NameBuffer(tableText);
  frame.procKind = std::string(nameText.substr(kReplicationPrefix.size(), kKindBytes));
  return frame;
}

}  // namespace

// Kept for a run of limits that only grow, so that the name cuts of many procedures ending at
// the same line end (or at the end of the script) look at each byte once.
void NameSearches::LastMarks::Cover(const char* from, const char* to) {
  if (scannedTo == nullptr || from < scannedFrom || from > scannedTo || to < scannedTo) {
    *this = LastMarks{from, from, nullptr, nullptr, nullptr};
  }
  const std::string_view added(scannedTo, static_cast<std::size_t>(to - scannedTo));
  const std::size_t bracket = added.rfind(']');
  const std::size_t quote = added.rfind('"');
  if (bracket != kNotFound) {
    const std::size_t quoteBefore = added.substr(0, bracket).rfind('"');
    if (quoteBefore != kNotFound) quoteBeforeLastBracket = scannedTo + quoteBefore;
    else quoteBeforeLastBracket = lastQuote;
    lastBracket = scannedTo + bracket;
  }
  if (quote != kNotFound) lastQuote = scannedTo + quote;
  scannedTo = to;
}

bool CutProcedureName(std::string_view scriptText, NameSearches& searches, ProcedureFrame& frame) {
  // The byte after the keyword, which opens the name in generated scripts, is skipped.
  const std::size_t nameSearchStart = kCreateKeyword.size() + 1;
  if (scriptText.size() < nameSearchStart) throw std::out_of_range("create keyword at the end of the script");
  const std::string_view afterKeyword = scriptText.substr(nameSearchStart);
  const std::size_t spMs = searches.spMs.In(afterKeyword);
  if (spMs == kNotFound) return false;
  frame = FrameProcedure(CutNameText(afterKeyword, spMs, searches));
  return true;
}

bool CutProcedureName(std::string_view scriptText, ProcedureFrame& frame) {
  NameSearches searches;
  return CutProcedureName(scriptText, searches, frame);
}

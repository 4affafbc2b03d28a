#include "rewrite/name.h"

#include "rewrite/lexical.h"

namespace {

constexpr std::string_view kReplicationPrefix = "sp_ms";
constexpr std::size_t kKindBytes = 3;  // del, ins, upd
// The shortest name: the prefix, the kind and the "_" before the table.
constexpr std::size_t kShortestName = kReplicationPrefix.size() + kKindBytes + 1;
// A name buffer holds 127 bytes and its terminating zero.
constexpr std::size_t kNameBytes = 127;

// Where a name that starts at the start of `line` ends, given the byte that stands before it.
std::size_t NameEnd(std::string_view line, char before) {
  if (before == '[' || before == '"') {
    const std::size_t close = QuotedClose(line, 0, line.size(), ClosingQuote(before));
    return close == kNotFound ? kNotFound : close - 1;
  }
  return line.find_first_of(" \t\r(;");
}

// The name from "sp_ms" at the start of `line` (which ends at the line end or the end of the
// script) when its quoting does not end on the line: before its last "]", then before its
// last double quote, as long as anything is left.
std::string_view UnclosedName(std::string_view line) {
  const std::size_t bracket = line.rfind(']');
  if (bracket != kNotFound && bracket > 0) line = line.substr(0, bracket);
  const std::size_t quote = line.rfind('"');
  if (quote != kNotFound && quote > 0) line = line.substr(0, quote);
  return line;
}

// `text` lower-cased in place of what `to` held, keeping its memory.
void AssignLowerCased(std::string& to, std::string_view text) {
  to.resize(text.size());
  CopyLowerCased(text, to.data());
}

// Fills the frame's texts in place, so that a frame used for one procedure after another
// keeps the memory of its texts.
void FrameProcedure(std::string_view nameText, ProcedureFrame& frame) {
  // At most 127 bytes, ending before a zero byte, as a zero-terminated name buffer holds them,
  // lower-cased as the rest of the output.
  const std::string_view buffered = nameText.substr(0, kNameBytes);
  AssignLowerCased(frame.procName, buffered.substr(0, buffered.find('\0')));
  if (!frame.procName.empty() && frame.procName.back() == ']') frame.procName.pop_back();
  const std::string& name = frame.procName;
  frame.objectHeader.assign("/****** Object:  StoredProcedure [dbo].[ ")
      .append(name)
      .append(" ] ******/\n \n");
  frame.dropPreamble.assign("IF object_id('dbo.[")
      .append(name)
      .append("]') IS NOT NULL \n\tDROP PROCEDURE dbo.[");
  frame.dropPreamble.append(name).append("]\nGO\n---------------------------\n");
  AssignLowerCased(frame.procKind, nameText.substr(kReplicationPrefix.size(), kKindBytes));
}

}  // namespace

bool CutProcedureName(std::string_view scriptText, NameSearches& searches, ProcedureFrame& frame) {
  if (scriptText.size() <= kCreateKeyword.size()) return false;
  const std::string_view afterKeyword = scriptText.substr(kCreateKeyword.size());
  const std::size_t lineFeed = searches.lineFeed.In(afterKeyword);
  const std::size_t spMs = searches.spMs.In(afterKeyword);
  if (spMs == kNotFound || (lineFeed != kNotFound && spMs > lineFeed)) return false;
  const std::string_view line =
      afterKeyword.substr(spMs, lineFeed == kNotFound ? kNotFound : lineFeed - spMs);
  const char before = spMs > 0 ? afterKeyword[spMs - 1] : ' ';
  const std::size_t end = NameEnd(line, before);
  const std::string_view nameText = end == kNotFound ? UnclosedName(line) : line.substr(0, end);
  if (nameText.size() < kShortestName) return false;
  FrameProcedure(nameText, frame);
  frame.nameText = nameText.substr(0, nameText.ends_with(']') ? nameText.size() - 1 : kNotFound);
  return true;
}

bool CutProcedureName(std::string_view scriptText, ProcedureFrame& frame) {
  NameSearches searches;
  return CutProcedureName(scriptText, searches, frame);
}

#include "rewrite/scan.h"

#include <algorithm>
#include <stdexcept>

#include "rewrite/delete.h"
#include "rewrite/insert.h"
#include "rewrite/update.h"

namespace {

constexpr std::size_t kNameBytes = 127;

// Where the last "]" and the last double quote stand before a limit, kept for a run of
// limits that only grow, so that the name cuts of many procedures ending at the same line
// end (or at the end of the script) look at each byte once.
struct LastMarks {
  const char* scannedFrom = nullptr;
  const char* scannedTo = nullptr;
  const char* lastBracket = nullptr;
  const char* lastQuote = nullptr;
  const char* quoteBeforeLastBracket = nullptr;

  void Cover(const char* from, const char* to) {
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
};

struct NameSearches {
  ForwardSearch lineFeed{"\n"};
  LastMarks toLineEnd;
  LastMarks toScriptEnd;
};

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
  LastMarks& marks = end == afterKeyword.size() ? searches.toScriptEnd : searches.toLineEnd;
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
  ProcedureFrame frame{};
  frame.nameText = nameText;
  frame.procName = NameBuffer(nameText);
  if (!frame.procName.empty() && frame.procName.back() == ']') frame.procName.pop_back();
  frame.objectHeader = "/****** Object:  StoredProcedure [dbo].[ " + frame.procName + " ] ******/\n \n";
  frame.dropPreamble = "IF object_id('dbo.[" + frame.procName + "]') IS NOT NULL \n\tDROP PROCEDURE dbo.[" +
                       frame.procName + "]\nGO\n---------------------------\n";
  if (nameText.size() < 9) throw std::out_of_range("procedure name shorter than nine bytes");
  std::string_view tableText = nameText.substr(9);
  if (tableText.substr(0, 3) == "dbo") tableText.remove_prefix(3);
  frame.tableName = NameBuffer(tableText);
  frame.procKind = std::string(nameText.substr(5, 3));
  return frame;
}

// The name cut with the searches of one scan.
bool CutProcedureName(std::string_view scriptText, ForwardSearch& spMsSearch,
                      NameSearches& nameSearches, ProcedureFrame& frame) {
  if (scriptText.size() < kCreateKeyword.size() + 1) {
    throw std::out_of_range("create keyword at the end of the script");
  }
  const std::string_view afterKeyword = scriptText.substr(kCreateKeyword.size() + 1);
  const std::size_t spMs = spMsSearch.In(afterKeyword);
  if (spMs == kNotFound) return false;
  frame = FrameProcedure(CutNameText(afterKeyword, spMs, nameSearches));
  return true;
}

ProcedureEnding HandleProcedure(ScriptScan& scan, NameSearches& nameSearches) {
  ProcedureFrame frame;
  if (!CutProcedureName(scan.scriptText, scan.searches.spMs, nameSearches, frame)) {
    return ProcedureEnding::kPassRestAndStop;
  }
  frame.objectCommentFollows = scan.searches.objectComment.In(scan.scriptText) != kNotFound;
  if (frame.procKind == "del") return RewriteDeleteProcedure(scan, frame);
  if (frame.procKind == "ins") return RewriteInsertProcedure(scan, frame);
  if (frame.procKind == "upd") return RewriteUpdateProcedure(scan, frame);
  return ProcedureEnding::kPassRestAndStop;
}

// Length of the tail of `written` that later bytes of the same piece may still collapse. A
// collapse removes CR LF CR before an LF, so it never removes a byte other than CR or LF and
// never one of two LFs in a row, and no run reaches across such a byte: the tail is the CR and
// LF bytes after the last of them. (CR LF CR groups with the start of one more group are not
// enough: after "x" CR, then CR LF CR, the bytes LF CR LF collapse the group and then the CR
// before it.)
std::size_t CollapsibleTail(std::string_view written) {
  std::size_t length = 0;
  while (length < written.size()) {
    const std::size_t at = written.size() - 1 - length;
    const bool lineFeedPair = written[at] == '\n' && length > 0 && written[at + 1] == '\n';
    if ((written[at] != '\r' && written[at] != '\n') || lineFeedPair) break;
    ++length;
  }
  return length;
}

constexpr std::string_view kBlankLine = "\r\n\r\n";

// The output of one piece that a later collapse may still shorten. A collapse can only take
// place where the piece itself holds CR LF CR LF, and it removes bytes from the end of what
// was written before; so every byte that no later collapse can reach is written at once, and
// stretches of the piece without a run go to the stream straight from the script.
class PieceOutput {
 public:
  explicit PieceOutput(std::ostream& out) : out_(out) {}

  // Adds bytes of the piece that complete no run.
  void Append(std::string_view bytes) {
    const std::size_t keep = bytes.size() >= kChunk ? CollapsibleTail(bytes) : bytes.size();
    if (keep < bytes.size()) {  // no collapse reaches back past `bytes`: out with the rest
      Write(pending_);
      Write(bytes.substr(0, bytes.size() - keep));
      pending_.clear();
      bytes.remove_prefix(bytes.size() - keep);
    }
    pending_.append(bytes);
    if (pending_.size() < flushAt_) return;
    const std::size_t tail = CollapsibleTail(pending_);
    Write(std::string_view(pending_).substr(0, pending_.size() - tail));
    pending_.erase(0, pending_.size() - tail);
    flushAt_ = std::max(kChunk, 2 * pending_.size());
  }

  // Adds the LF that ends a run, then collapses CR LF CR LF at the end for as long as it
  // stands there.
  void AppendRunEnd() {
    pending_.push_back('\n');
    while (std::string_view(pending_).ends_with(kBlankLine)) {
      pending_.resize(pending_.size() - 3);
      pending_.back() = '\n';
    }
  }

  // Adds the rest of the piece, after its last run, and writes everything.
  void Finish(std::string_view rest) {
    Write(pending_);
    Write(rest);
  }

 private:
  static constexpr std::size_t kChunk = 1 << 16;

  void Write(std::string_view bytes) {
    if (!bytes.empty()) out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  std::ostream& out_;
  std::string pending_;
  std::size_t flushAt_ = kChunk;
};

}  // namespace

bool CutProcedureName(std::string_view scriptText, ProcedureFrame& frame) {
  ForwardSearch spMs("sp_ms");
  NameSearches nameSearches;
  return CutProcedureName(scriptText, spMs, nameSearches, frame);
}

bool WriteScriptPiece(std::ostream& out, std::string_view piece) {
  if (out.fail()) return false;
  PieceOutput output(out);
  std::size_t from = 0;  // the bytes before it are in `output`
  for (std::size_t run = FindText(piece, kBlankLine); run != kNotFound;) {
    const std::size_t runEnd = run + kBlankLine.size() - 1;  // its LF
    output.Append(piece.substr(from, runEnd - from));
    output.AppendRunEnd();
    from = runEnd + 1;
    const std::size_t next = FindText(piece.substr(run + 1), kBlankLine);  // runs may overlap
    run = next == kNotFound ? kNotFound : run + 1 + next;
  }
  output.Finish(piece.substr(from));
  return true;
}

bool WriteProcedureFraming(ScriptScan& scan, const ProcedureFrame& frame) {
  if (!frame.objectCommentFollows && !WriteScriptPiece(scan.out, frame.objectHeader)) return false;
  return WriteScriptPiece(scan.out, frame.dropPreamble);
}

bool WriteAndAdvance(ScriptScan& scan, std::size_t count) {
  if (!WriteScriptPiece(scan.out, scan.scriptText.substr(0, count))) return false;
  scan.scriptText.remove_prefix(std::min(count, scan.scriptText.size()));
  return true;
}

void ScanScript(std::string_view scriptText, const NoIdentityTableSet& tables, std::ostream& out) {
  ScriptScan scan{scriptText, out, tables, {}};
  NameSearches nameSearches;
  while (!scan.scriptText.empty()) {
    const std::size_t keyword = FindText(scan.scriptText, kCreateKeyword);
    if (keyword == kNotFound) {
      WriteScriptPiece(out, scan.scriptText);
      return;
    }
    if (keyword + kCreateKeyword.size() + 1 > scan.scriptText.size()) {
      throw std::out_of_range("create keyword at the end of the script");  // before any write
    }
    if (!WriteAndAdvance(scan, keyword)) return;
    switch (HandleProcedure(scan, nameSearches)) {
      case ProcedureEnding::kNextProcedure:
        break;
      case ProcedureEnding::kStop:
        return;
      case ProcedureEnding::kPassRestAndStop:
        WriteScriptPiece(out, scan.scriptText);
        return;
    }
  }
}

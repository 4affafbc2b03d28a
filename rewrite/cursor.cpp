#include "rewrite/cursor.h"

#include <algorithm>

namespace {

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
// Looked for by its LF CR, which only a blank line has, where CR LF ends every line.
const Needle kBlankLineRun(kBlankLine, 1, 2);

// Writes `bytes` with A-Z lower-cased, through a buffer small enough to stay in the cache.
void WriteLowerCased(std::ostream& out, std::string_view bytes) {
  char buffer[4096];
  while (!bytes.empty()) {
    const std::string_view part = bytes.substr(0, sizeof buffer);
    CopyLowerCased(part, buffer);
    out.write(buffer, static_cast<std::streamsize>(part.size()));
    bytes.remove_prefix(part.size());
  }
}

// The output of one piece that a later collapse may still shorten. A collapse can only take
// place where the piece itself holds CR LF CR LF, and it removes bytes from the end of what
// was written before; so every byte that no later collapse can reach is written at once, and
// stretches of the piece without a run go to the stream straight from the script.
class PieceOutput {
 public:
  PieceOutput(std::ostream& out, bool lowerCase) : out_(out), lowerCase_(lowerCase) {}

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
    if (lowerCase_) {
      WriteLowerCased(out_, bytes);
    } else if (!bytes.empty()) {
      out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }

  std::ostream& out_;
  bool lowerCase_;
  std::string pending_;
  std::size_t flushAt_ = kChunk;
};

// Writes a piece with its runs of CR LF CR LF collapsed.
bool WritePiece(std::ostream& out, std::string_view piece, bool lowerCase) {
  if (out.fail()) return false;
  PieceOutput output(out, lowerCase);
  if (piece.find('\r') == std::string_view::npos) {  // no run, as in every added text
    output.Finish(piece);
    return true;
  }
  std::size_t from = 0;  // the bytes before it are in `output`
  for (std::size_t run = FindText(piece, kBlankLineRun); run != kNotFound;) {
    const std::size_t runEnd = run + kBlankLine.size() - 1;  // its LF
    output.Append(piece.substr(from, runEnd - from));
    output.AppendRunEnd();
    from = runEnd + 1;
    const std::size_t next = FindText(piece.substr(run + 1), kBlankLineRun);  // runs may overlap
    run = next == kNotFound ? kNotFound : run + 1 + next;
  }
  output.Finish(piece.substr(from));
  return true;
}

}  // namespace

bool WriteScriptPiece(std::ostream& out, std::string_view piece) {
  return WritePiece(out, piece, true);
}

bool WriteAddedText(std::ostream& out, std::string_view text) {
  return WritePiece(out, text, false);
}

bool WriteFraming(ScriptCursor& cursor, const ProcedureFrame& frame) {
  if (!frame.objectCommentFollows && !WriteAddedText(cursor.out, frame.objectHeader)) return false;
  return WriteAddedText(cursor.out, frame.dropPreamble);
}

bool WriteAndAdvance(ScriptCursor& cursor, std::size_t count) {
  if (!WriteScriptPiece(cursor.out, cursor.rest.substr(0, count))) return false;
  cursor.rest.remove_prefix(std::min(count, cursor.rest.size()));
  return true;
}

ProcedureEnding CopyThroughGo(ScriptCursor& cursor, std::size_t goPos) {
  return NextUnlessRefused(WriteAndAdvance(cursor, goPos + kGo.size()));
}

ProcedureEnding CopyAsItStands(ScriptCursor& cursor, std::size_t goPos, std::string_view reason) {
  cursor.copiedBecause = reason;
  return CopyThroughGo(cursor, goPos);
}

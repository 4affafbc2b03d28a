#include "rewrite/insert.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr std::string_view kInsert = "insert";
constexpr std::string_view kInto = "into";
const Needle kBegin("begin");
const Needle kInsertNeedle(kInsert);
const Needle kLineEnd("\nend");  // the line feed before the procedure's "end"
constexpr std::string_view kIdentityInsert = "set identity_insert ";
const Needle kIdentitySwitch(kIdentityInsert);
constexpr std::string_view kProcedureEnd = "end\ngo\n";
constexpr std::string_view kDefaultOwner = "dbo";
constexpr std::size_t kMostNameParts = 3;  // database, owner, table

// "\tset identity_insert  <table> ON\n\n": the keyword's own blank and the line's blank make
// two before the table name.
std::string IdentitySwitchLine(const std::string& tableName, std::string_view state) {
  std::string line = "\t";
  line.append(kIdentityInsert).append(" ").append(tableName).append(" ");
  line.append(state).append("\n\n");
  return line;
}

bool IsSeparator(char byte) { return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n'; }

// Bytes of a bare name: letters, digits, _ @ # $ and every byte from 0x80, which belongs to a
// letter of some code page.
bool IsWordByte(char byte) {
  const char lower = LowerCaseByte(byte);
  return (lower >= 'a' && lower <= 'z') || (byte >= '0' && byte <= '9') || byte == '_' ||
         byte == '@' || byte == '#' || byte == '$' || static_cast<unsigned char>(byte) >= 0x80;
}

// Whether a name may be written without brackets: a word that does not start with a digit, $ or
// @ (a bare word that starts with @ names a variable, not a table).
bool CanStandBare(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), IsWordByte) &&
         !(name[0] >= '0' && name[0] <= '9') && name[0] != '$' && name[0] != '@';
}

// Whether `word` stands at `at` as a whole word.
bool WordAt(std::string_view text, std::size_t at, std::string_view word) {
  const std::string_view rest = text.substr(at);
  return StartsWithLowerCase(rest, word) &&
         (rest.size() == word.size() || !IsWordByte(rest[word.size()]));
}

// Skips separators from `at`; true when at least one was there or a quoted name follows.
bool SkipToName(std::string_view text, std::size_t& at) {
  const std::size_t start = at;
  while (at < text.size() && IsSeparator(text[at])) ++at;
  return at > start || (at < text.size() && (text[at] == '[' || text[at] == '"'));
}

// One part of a name at `at`: its text without quoting ("]]" read as "]", a doubled double
// quote as one), lower-cased, with `at` moved past it. False when no part, or an empty one,
// stands there.
bool ReadNamePart(std::string_view text, std::size_t& at, std::string& part) {
  part.clear();
  if (at >= text.size()) return false;
  const char open = text[at];
  if (open == '[' || open == '"') {
    const char close = open == '[' ? ']' : '"';
    for (std::size_t i = at + 1; i < text.size(); ++i) {
      if (text[i] != close) {
        part += LowerCaseByte(text[i]);
      } else if (i + 1 < text.size() && text[i + 1] == close) {
        part += close;
        ++i;
      } else {
        at = i + 1;
        return !part.empty();
      }
    }
    return false;  // the quoting does not close
  }
  const std::size_t start = at;
  while (at < text.size() && IsWordByte(text[at])) ++at;
  part = LowerCased(text.substr(start, at - start));
  return !part.empty();
}

// Positions of the insert statement in a procedure, and its target.
struct InsertStatement {
  std::size_t insertPos;
  std::size_t endPos;  // the line feed of the "\nend" after the statement
  bool concurrentSnapshot;
  InsertTarget target;
};

// True when "begin" comes before the first "insert", a "\nend" follows it and the statement
// between has a readable target. The concurrent-snapshot form has a "\nend" (of its update
// branch) before "insert"; its statement then ends at the first "\nend" after "insert".
bool FindInsertStatement(std::string_view procedure, InsertStatement& statement) {
  const std::size_t beginPos = FindText(procedure, kBegin);
  statement.insertPos = FindText(procedure, kInsertNeedle);
  if (beginPos == kNotFound || statement.insertPos == kNotFound || beginPos > statement.insertPos) {
    return false;
  }
  const std::size_t firstEnd = FindText(procedure, kLineEnd);
  statement.concurrentSnapshot = firstEnd < statement.insertPos;
  if (statement.concurrentSnapshot) {
    const std::size_t end = FindText(procedure.substr(statement.insertPos), kLineEnd);
    statement.endPos = end == kNotFound ? kNotFound : statement.insertPos + end;
  } else {
    statement.endPos = firstEnd;
  }
  if (statement.endPos == kNotFound) return false;
  return ReadInsertTarget(
      procedure.substr(statement.insertPos, statement.endPos - statement.insertPos),
      statement.target);
}

}  // namespace

bool ReadInsertTarget(std::string_view statement, InsertTarget& target) {
  if (!StartsWithLowerCase(statement, kInsert)) return false;
  std::size_t at = kInsert.size();
  if (!SkipToName(statement, at)) return false;
  if (WordAt(statement, at, kInto)) {
    at += kInto.size();
    if (!SkipToName(statement, at)) return false;
  }
  const std::size_t nameStart = at;
  std::size_t lastPartStart = at;
  std::vector<std::string> parts(1);
  while (ReadNamePart(statement, at, parts.back())) {
    if (at >= statement.size() || statement[at] != '.') break;
    lastPartStart = ++at;
    parts.emplace_back();
  }
  if (parts.back().empty() || parts.size() > kMostNameParts) return false;
  target.table = parts.back();
  const bool defaultOwner = parts.size() == 1 || (parts.size() == 2 && parts[0] == kDefaultOwner);
  const std::size_t written = defaultOwner ? lastPartStart : nameStart;
  if (defaultOwner && CanStandBare(target.table)) {
    target.switchName = target.table;
  } else {
    target.switchName = LowerCased(statement.substr(written, at - written));
  }
  return true;
}

ProcedureEnding RewriteInsertProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       const NoIdentityTableSet& tables) {
  if (!WriteFraming(cursor, frame)) return ProcedureEnding::kStop;

  // A procedure that already switches is left as it is: the text from the switch on reaches
  // the output with the text before the next procedure.
  const std::size_t identityPos = FindBefore(cursor.rest, kIdentitySwitch, frame.goPos);
  if (identityPos != kNotFound) {
    return NextUnlessRefused(WriteAndAdvance(cursor, identityPos));
  }

  const std::string_view text = cursor.rest;
  InsertStatement statement;
  if (!FindInsertStatement(text.substr(0, frame.goPos), statement))
    return CopyThroughGo(cursor, frame.goPos);

  std::string onLine, offLine;
  if (!tables.contains(statement.target.table)) {
    onLine = IdentitySwitchLine(statement.target.switchName, "ON");
    offLine = IdentitySwitchLine(statement.target.switchName, "OFF");
  }
  // The plain form ends with a fixed "end" and GO line in place of its own, and drops the byte
  // after the letters "go" too (the line feed, or the CR of a CR LF); the concurrent-snapshot
  // form keeps its own end of the else branch and of the procedure.
  const std::string_view head = text.substr(0, statement.insertPos);
  const std::string_view insert =
      text.substr(statement.insertPos, statement.endPos - statement.insertPos);
  const std::size_t tail = statement.endPos + 1;
  const std::string_view ownEnding = text.substr(tail, frame.goPos + kGo.size() - tail);
  if (!WriteScriptPiece(cursor.out, head) || !WriteAddedText(cursor.out, onLine) ||
      !WriteScriptPiece(cursor.out, insert) || !WriteAddedText(cursor.out, offLine) ||
      !(statement.concurrentSnapshot ? WriteScriptPiece(cursor.out, ownEnding)
                                     : WriteAddedText(cursor.out, kProcedureEnd))) {
    return ProcedureEnding::kStop;
  }
  const std::size_t consumed = frame.goPos + kGo.size() + (statement.concurrentSnapshot ? 0 : 1);
  cursor.rest.remove_prefix(std::min(consumed, text.size()));
  return ProcedureEnding::kNextProcedure;
}

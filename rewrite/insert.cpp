#include "rewrite/insert.h"

#include <algorithm>
#include <string>
#include <vector>

#include "io/text_fold.h"
#include "rewrite/lexical.h"

namespace {

constexpr std::string_view kInsert = "insert";
constexpr std::string_view kInto = "into";
const Needle kBegin("begin");
const Needle kInsertNeedle(kInsert);
const Needle kEnd("end");
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

// Whether a name may be written without brackets: a word that does not start with a digit, $ or
// @ (a bare word that starts with @ names a variable, not a table) and is no reserved keyword.
bool CanStandBare(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), IsWordByte) &&
         !(name[0] >= '0' && name[0] <= '9') && name[0] != '$' && name[0] != '@' &&
         !IsReservedKeyword(name);
}

// `name` in brackets, a "]" in it doubled.
std::string Bracketed(std::string_view name) {
  std::string bracketed = "[";
  for (const char byte : name) {
    bracketed += byte;
    if (byte == ']') bracketed += ']';
  }
  return bracketed + "]";
}

// Whether `word` stands at `at` as a whole word.
bool WordAt(std::string_view text, std::size_t at, std::string_view word) {
  return StartsWithLowerCase(text.substr(at), word) && IsWholeWordAt(text, at, word.size());
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
    const char close = ClosingQuote(open);
    const std::size_t end = QuotedClose(text, at + 1, text.size(), close);
    if (end == kNotFound) return false;  // the quoting does not close
    for (std::size_t i = at + 1; i + 1 < end; ++i) {
      part += LowerCaseByte(text[i]);
      if (text[i] == close) ++i;  // the doubled quote stands for one
    }
    at = end;
    return !part.empty();
  }
  const std::size_t start = at;
  while (at < text.size() && IsWordByte(text[at])) ++at;
  part = LowerCased(text.substr(start, at - start));
  return !part.empty();
}

// Positions of the insert statement in a procedure, and its target.
struct InsertStatement {
  std::size_t insertPos;
  std::size_t statementEnd;  // one past its last byte: the line feed before its end word, or
                             // that word when other bytes stand before it on its line
  std::size_t endPos;        // the word "end" after the statement
  bool concurrentSnapshot;
  InsertTarget target;
};

// Finds the insert statement: the word "begin" comes before the first word "insert", a word
// "end" follows it and the statement between has a readable target (words in code,
// ProcedureWords). The concurrent-snapshot form has an "end" (of its update branch) between
// "begin" and "insert"; in the plain form the "end" after the statement must be the
// procedure's last word. Returns why the procedure cannot be rewritten, or "" when it can.
std::string_view FindInsertStatement(ProcedureWords& words, std::string_view procedure,
                                     InsertStatement& statement) {
  const std::size_t beginPos = words.Find(kBegin);
  statement.insertPos = words.Find(kInsertNeedle);
  if (statement.insertPos == kNotFound) return "no insert statement";
  if (beginPos == kNotFound || beginPos > statement.insertPos)
    return "no begin before its insert statement";
  statement.endPos = words.Find(kEnd, statement.insertPos + kInsert.size());
  if (statement.endPos == kNotFound) return "no end after its insert statement";
  statement.concurrentSnapshot = words.Find(kEnd, beginPos, statement.insertPos) != kNotFound;
  // The plain form puts a fixed end in place of the text from its end word to the GO line: that
  // must be the procedure's last word, or code would be lost.
  const std::size_t afterEnd = statement.endPos + kEnd.Text().size();
  if (!statement.concurrentSnapshot && !HoldsNoCode(procedure.substr(afterEnd)))
    return "more statements after the end of its insert statement";
  const bool endStartsItsLine = procedure[statement.endPos - 1] == '\n';
  statement.statementEnd = statement.endPos - (endStartsItsLine ? 1 : 0);
  if (!ReadInsertTarget(
          procedure.substr(statement.insertPos, statement.statementEnd - statement.insertPos),
          statement.target)) {
    return "no readable table after its insert";
  }
  return {};
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
  if (!defaultOwner) {
    target.switchName = LowerCased(statement.substr(nameStart, at - nameStart));
  } else if (CanStandBare(target.table)) {
    target.switchName = target.table;
  } else if (IsReservedKeyword(target.table)) {
    target.switchName = Bracketed(target.table);
  } else {
    target.switchName = LowerCased(statement.substr(lastPartStart, at - lastPartStart));
  }
  return true;
}

NoIdentityTableSet CaseFoldedTables(const NoIdentityTableSet& tables) {
  NoIdentityTableSet folded;
  for (const std::string& table : tables) folded.insert(CaseFoldedName(table));
  return folded;
}

ProcedureEnding RewriteInsertProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       const NoIdentityTableSet& foldedTables) {
  if (!WriteFraming(cursor, frame)) return ProcedureEnding::kStop;

  // A procedure that already switches is left as it is: the text from the switch on reaches
  // the output with the text before the next procedure.
  const std::string_view text = cursor.rest;
  ProcedureWords words(text.substr(0, frame.goPos));
  const std::size_t identityPos = words.Find(kIdentitySwitch);
  if (identityPos != kNotFound) {
    return NextUnlessRefused(WriteAndAdvance(cursor, identityPos));
  }

  InsertStatement statement;
  const std::string_view whyNot =
      FindInsertStatement(words, text.substr(0, frame.goPos), statement);
  if (!whyNot.empty()) return CopyAsItStands(cursor, frame.goPos, whyNot);

  std::string onLine, offLine;
  if (!foldedTables.contains(CaseFoldedName(statement.target.table))) {
    onLine = IdentitySwitchLine(statement.target.switchName, "ON");
    offLine = IdentitySwitchLine(statement.target.switchName, "OFF");
  }
  // The plain form ends with a fixed "end" and GO line in place of its own, and drops the byte
  // after the letters "go" too (the line feed, or the CR of a CR LF); the concurrent-snapshot
  // form keeps its own end of the else branch and of the procedure.
  const std::string_view head = text.substr(0, statement.insertPos);
  const std::string_view insert =
      text.substr(statement.insertPos, statement.statementEnd - statement.insertPos);
  const std::string_view ownEnding =
      text.substr(statement.endPos, frame.goPos + kGo.size() - statement.endPos);
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

#include "rewrite/delete.h"

// The comment opens at the first "if @@rowcount = 0". When the first "20598" after it ends
// its line and no "begin" stands between them, the comment closes right after the number.
// Otherwise (the rest of the number's line is not blank, or a "begin" comes first) the number
// sits in a statement of a Begin ... End block, and the comment closes right after the last
// non-blank byte before the final "end" line: of the lines after the number's line and before
// the first line after the test that holds "go" alone, the last whose first word is "end". A
// number past that "go" line belongs to another procedure, and the procedure is copied.

namespace {

constexpr std::string_view kErrorNumber = "20598";
constexpr std::string_view kOpeningMarker = "/*-D- ";
constexpr std::string_view kClosingText = " -D-*/\n \n ";

// Blanks within a line.
bool IsBlank(char byte) { return byte == ' ' || byte == '\t' || byte == '\r'; }

bool IsNameByte(char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
         byte == '_' || byte == '@' || byte == '#' || byte == '$';
}

std::size_t FindNonBlank(std::string_view rest) { return rest.find_first_not_of(" \t\r"); }

// Start of the first line that holds "go" alone between blanks. `rest` starts at a line start
// or on a line that holds something else.
std::size_t FindGoLine(std::string_view rest) {
  for (std::size_t go = rest.find(kGo); go != kNotFound; go = rest.find(kGo, go + kGo.size())) {
    std::size_t start = go;
    while (start > 0 && IsBlank(rest[start - 1])) --start;
    if (start > 0 && rest[start - 1] != '\n') continue;
    std::size_t end = go + kGo.size();
    while (end < rest.size() && IsBlank(rest[end])) ++end;
    if (end == rest.size() || rest[end] == '\n') return start;
  }
  return kNotFound;
}

// A line (without its line feed) that starts, after blanks and tabs, with the word "end".
bool IsEndLine(std::string_view line) {
  const std::size_t word = line.find_first_not_of(" \t");
  if (word == kNotFound || line.substr(word, 3) != "end") return false;
  return word + 3 == line.size() || !IsNameByte(line[word + 3]);
}

// Start of the last "end" line of `text`, which starts at a line start.
std::size_t FindLastEndLine(std::string_view text) {
  std::size_t end = text.size();
  if (end > 0 && text[end - 1] == '\n') --end;
  while (true) {
    const std::size_t lineFeed = end == 0 ? kNotFound : text.rfind('\n', end - 1);
    const std::size_t start = lineFeed == kNotFound ? 0 : lineFeed + 1;
    if (IsEndLine(text.substr(start, end - start))) return start;
    if (lineFeed == kNotFound) return kNotFound;
    end = lineFeed;
  }
}

// Whether the line ends at `nonBlank`, the first byte after the number that is not a blank.
// The closing marker that an earlier run put there counts as blank, so that a rewritten script
// fed through again gets its new comment inside the old one.
bool LineEndsAt(std::string_view afterNumber, std::size_t nonBlank) {
  constexpr std::string_view kEarlierClosingMarker = "-d-*/";  // " -D-*/" after lower-casing
  if (nonBlank != kNotFound && afterNumber.substr(nonBlank).starts_with(kEarlierClosingMarker)) {
    const std::string_view afterMarker = afterNumber.substr(nonBlank + kEarlierClosingMarker.size());
    nonBlank = FindNonBlank(afterMarker);
    afterNumber = afterMarker;
  }
  return nonBlank == kNotFound || afterNumber[nonBlank] == '\n';
}

// Where the comment that opens at the test ends, as an offset into `fromTest`, which begins
// with the test; kNotFound when the procedure is to be copied unchanged.
std::size_t CommentEnd(DeleteSearches& searches, std::string_view fromTest) {
  // Peer-to-peer procedures test the row count without raising 20598.
  const std::size_t number = searches.errorNumber.In(fromTest);
  if (number == kNotFound) return kNotFound;
  // A number past the batch's "go" line belongs to another procedure.
  const std::size_t goLine = searches.goLine.In(fromTest, FindGoLine);
  if (goLine != kNotFound && number > goLine) return kNotFound;

  // Up to SQL Server 2012 the number ends its line and the comment closes right after it.
  const std::size_t numberEnd = number + kErrorNumber.size();
  const std::string_view afterNumber = fromTest.substr(numberEnd);
  const std::size_t nonBlank = searches.nonBlank.In(afterNumber, FindNonBlank);
  if (LineEndsAt(afterNumber, nonBlank) && searches.begin.In(fromTest) > number) return numberEnd;

  // Since then it sits in a statement of a Begin ... End block: the comment takes the rest of
  // the block and closes before the procedure's final "end" line.
  if (goLine == kNotFound) return kNotFound;
  const std::size_t lineFeed = searches.lineFeed.In(afterNumber);
  if (lineFeed == kNotFound || numberEnd + lineFeed >= goLine) return kNotFound;
  const std::size_t nextLine = numberEnd + lineFeed + 1;
  const std::size_t endLine =
      searches.finalEnd.In(fromTest.substr(nextLine, goLine - nextLine), FindLastEndLine);
  if (endLine == kNotFound) return kNotFound;
  std::size_t close = nextLine + endLine;
  while (close > numberEnd && (IsBlank(fromTest[close - 1]) || fromTest[close - 1] == '\n')) --close;
  return close;
}

// Writes scriptText[0, count) followed by `marker` and drops those bytes. The marker holds no
// carriage return, so no blank-line run can span the two, and writing them one after the other
// gives the bytes of writing them as one piece without copying the procedure.
bool WriteWithMarker(ScriptCursor& cursor, std::size_t count, std::string_view marker) {
  return WriteAndAdvance(cursor, count) && WriteScriptPiece(cursor.out, marker);
}

}  // namespace

ProcedureEnding RewriteDeleteProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       DeleteSearches& searches) {
  const std::size_t test = searches.rowcountTest.In(cursor.rest);
  std::size_t go = FindText(cursor.rest, kGo);
  if (test != kNotFound && go != kNotFound && go > test) {
    const std::size_t close = CommentEnd(searches, cursor.rest.substr(test));
    if (close != kNotFound) {
      if (!WriteFraming(cursor, frame) || !WriteWithMarker(cursor, test, kOpeningMarker) ||
          !WriteWithMarker(cursor, close, kClosingText)) {
        return ProcedureEnding::kStop;
      }
      go = FindText(cursor.rest, kGo);
    }
  }
  if (go == kNotFound || go == 0) return ProcedureEnding::kPassRestAndStop;
  return WriteAndAdvance(cursor, go + kGo.size()) ? ProcedureEnding::kNextProcedure
                                                  : ProcedureEnding::kStop;
}

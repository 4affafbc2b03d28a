#include "tests/tsql_batches.h"

namespace {

bool IsGoLine(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos || first + 2 > line.size()) return false;
  if ((line[first] | 0x20) != 'g' || (line[first + 1] | 0x20) != 'o')
    return false;  // GO in any case
  return line.find_first_not_of(" \t\r", first + 2) == std::string_view::npos;
}

// A byte-at-a-time reader of one batch.
class BatchReader {
 public:
  LexicalState state() const { return state_; }

  // Reads the byte at `at` of `text` (the one after it may complete a pair) and returns where
  // the next unread byte is.
  std::size_t ReadByte(std::string_view text, std::size_t at) {
    const char byte = text[at];
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    switch (state_) {
      case LexicalState::kCode:
        if (byte == '-' && next == '-') return Enter(LexicalState::kLineComment, at + 2);
        if (byte == '/' && next == '*') {
          depth_ = 1;
          return Enter(LexicalState::kBlockComment, at + 2);
        }
        if (byte == '\'') return Enter(LexicalState::kString, at + 1);
        if (byte == '[') return Enter(LexicalState::kBracketName, at + 1);
        if (byte == '"') return Enter(LexicalState::kQuotedName, at + 1);
        return at + 1;
      case LexicalState::kLineComment:
        return byte == '\n' ? Enter(LexicalState::kCode, at + 1) : at + 1;
      case LexicalState::kBlockComment:
        if (byte == '/' && next == '*') {
          ++depth_;
          return at + 2;
        }
        if (byte == '*' && next == '/') {
          if (--depth_ == 0) return Enter(LexicalState::kCode, at + 2);
          return at + 2;
        }
        return at + 1;
      case LexicalState::kString:
        return Close('\'', byte, next, at);
      case LexicalState::kBracketName:
        return Close(']', byte, next, at);
      case LexicalState::kQuotedName:
        return Close('"', byte, next, at);
    }
    return at + 1;
  }

 private:
  std::size_t Enter(LexicalState state, std::size_t next) {
    state_ = state;
    return next;
  }
  std::size_t Close(char quote, char byte, char next, std::size_t at) {
    if (byte != quote) return at + 1;
    if (next == quote) return at + 2;
    return Enter(LexicalState::kCode, at + 1);
  }

  LexicalState state_ = LexicalState::kCode;
  int depth_ = 0;
};

struct Reading {
  std::vector<TsqlBatch> batches;
  std::vector<LexicalState> states;  // the state in which each byte is read, and the final one
};

// Reads the script line by line: a GO line ends the batch and is read in code; every other
// line is read byte by byte by the batch's reader.
Reading Read(std::string_view script) {
  Reading reading;
  reading.states.assign(script.size() + 1, LexicalState::kCode);
  BatchReader reader;
  std::size_t batchStart = 0;
  std::size_t at = 0;  // the next unread byte
  for (std::size_t lineStart = 0;;) {
    const std::size_t lineFeed = script.find('\n', lineStart);
    const std::size_t lineEnd = lineFeed == std::string_view::npos ? script.size() : lineFeed + 1;
    if (IsGoLine(script.substr(lineStart, lineFeed - lineStart))) {
      reading.batches.push_back(
          {script.substr(batchStart, lineStart - batchStart), reader.state()});
      reader = BatchReader();
      batchStart = at = lineEnd;
    }
    while (at < lineEnd) {
      const LexicalState state = reader.state();
      const std::size_t next = reader.ReadByte(script, at);
      for (; at < next; ++at) reading.states[at] = state;
    }
    if (lineFeed == std::string_view::npos) break;
    lineStart = lineEnd;
  }
  reading.batches.push_back({script.substr(batchStart), reader.state()});
  reading.states[script.size()] = reader.state();
  return reading;
}

}  // namespace

std::vector<TsqlBatch> SplitBatches(std::string_view script) { return Read(script).batches; }

bool EndsOpen(const TsqlBatch& batch) {
  return batch.end != LexicalState::kCode && batch.end != LexicalState::kLineComment;
}

LexicalState StateAt(std::string_view script, std::size_t offset) {
  return Read(script).states.at(offset);
}

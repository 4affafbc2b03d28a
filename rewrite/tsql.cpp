#include "rewrite/tsql.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// ---- GO lines

// Blanks within a line.
bool IsBlank(char byte) { return byte == ' ' || byte == '\t' || byte == '\r'; }

// Whether the letters "go" at `go` stand alone on their line of `script`.
bool IsGoLineAt(std::string_view script, std::size_t go) {
  std::size_t start = go;
  while (start > 0 && IsBlank(script[start - 1])) --start;
  if (start > 0 && script[start - 1] != '\n') return false;
  std::size_t end = go + 2;
  while (end < script.size() && IsBlank(script[end])) ++end;
  return end == script.size() || script[end] == '\n';
}

const Needle kGoLetters(kGo);

// The letters of the first GO line of `script` that stand at or after `from`, or kNotFound.
// Line starts are those of the whole script, so the answer does not depend on `from`.
std::size_t GoLineAfter(std::string_view script, std::size_t from) {
  while (from < script.size()) {
    const std::size_t go = FindText(script.substr(from), kGoLetters);
    if (go == kNotFound) return kNotFound;
    if (IsGoLineAt(script, from + go)) return from + go;
    from += go + 1;
  }
  return kNotFound;
}

// The letters of the last GO line of `script` that stand at or after `from` and end by `to`,
// or kNotFound. Read backwards from `to`: the GO line before a batch's first statement is
// usually a line or two before it.
std::size_t LastGoLineBetween(std::string_view script, std::size_t from, std::size_t to) {
  if (to < from + kGo.size()) return kNotFound;
  for (std::size_t go = to - kGo.size() + 1; go-- > from;) {
    if (LowerCaseByte(script[go]) == 'g' && LowerCaseByte(script[go + 1]) == 'o' &&
        IsGoLineAt(script, go)) {
      return go;
    }
  }
  return kNotFound;
}

}  // namespace

std::size_t FindGoLine(std::string_view text) { return GoLineAfter(text, 0); }

// ---- CodeSearch

CodeSearch::CodeSearch(std::string_view script, std::string_view needle)
    : script_(script), needle_(needle), reader_(script) {}

void CodeSearch::Restart() {
  reader_ = LexicalReader(script_);
  goFrom_ = kNotFound;
  needleFrom_ = kNotFound;
}

std::size_t CodeSearch::GoLineFrom(std::size_t from) {
  if (goFrom_ == kNotFound || from < goFrom_ || (goLine_ != kNotFound && goLine_ < from)) {
    goFrom_ = from;
    goLine_ = GoLineAfter(script_, from);
  }
  return goLine_;
}

std::size_t CodeSearch::GoLineIn(std::string_view rest) {
  const auto from = static_cast<std::size_t>(rest.data() - script_.data());
  const std::size_t go = GoLineFrom(from);
  return go == kNotFound ? kNotFound : go - from;
}

void CodeSearch::SkipGoLines(std::size_t limit) {
  const std::size_t pos = reader_.Pos();
  // The GO line last found may tell that none lies between the reader and the limit.
  const bool known =
      goFrom_ != kNotFound && goFrom_ <= pos && (goLine_ == kNotFound || goLine_ >= pos);
  if (known && (goLine_ == kNotFound || goLine_ + kGo.size() > limit)) return;
  const std::size_t go = LastGoLineBetween(script_, pos, limit);
  if (go != kNotFound) reader_.ResumeInCode(go + kGo.size());
}

std::size_t CodeSearch::NeedleFrom(std::size_t from) {
  if (needleFrom_ == kNotFound || from < needleFrom_ ||
      (needleAt_ != kNotFound && needleAt_ < from)) {
    needleFrom_ = from;
    const std::size_t found = FindText(script_.substr(from), needle_);
    needleAt_ = found == kNotFound ? kNotFound : from + found;
  }
  return needleAt_;
}

void CodeSearch::ReadOpenConstruct() {
  const std::size_t go = GoLineFrom(reader_.Pos());
  if (go == kNotFound) {
    reader_.ReadOpenConstruct(script_.size());  // the script may end inside
  } else if (!reader_.ReadOpenConstruct(go)) {
    reader_.ResumeInCode(go + kGo.size());  // a GO line closes whatever is open
  }
}

void CodeSearch::ReadTo(std::size_t offset) {
  offset = std::min(offset, script_.size());
  SkipGoLines(offset);
  while (reader_.Pos() < offset) {
    if (reader_.State() == LexicalState::kCode) {
      reader_.ReadCodeTo(offset);
    } else {
      ReadOpenConstruct();
    }
  }
}

std::size_t CodeSearch::In(std::string_view rest) {
  const auto from = static_cast<std::size_t>(rest.data() - script_.data());
  if (from < viewStart_) Restart();
  viewStart_ = from;
  // What stands before the last GO line ahead of the next occurrence need not be read.
  const std::size_t next = NeedleFrom(std::max(reader_.Pos(), from));
  if (next == kNotFound) return kNotFound;
  SkipGoLines(next);
  ReadTo(from);
  while (true) {
    if (reader_.State() != LexicalState::kCode) {
      if (reader_.Pos() >= script_.size()) return kNotFound;
      ReadOpenConstruct();
      continue;
    }
    const std::size_t needle = NeedleFrom(reader_.Pos());
    if (needle == kNotFound) return kNotFound;
    SkipGoLines(needle);
    reader_.ReadCodeTo(needle);
    if (reader_.Pos() == needle && reader_.State() == LexicalState::kCode) break;
  }
  const std::size_t pos = reader_.Pos();
  if (pos + needle_.Text().size() > from + rest.size()) return kNotFound;
  return pos - from;
}

LexicalState StateAfter(std::string_view script) {
  CodeSearch reader(script, {});
  reader.ReadTo(script.size());
  return reader.reader_.State();
}

// ---- IF statements

namespace {

// The bytes the IF statement reading passes over between tokens, and those of its words: word
// bytes, and "." between the parts of a name. One lookup a byte.
enum ByteClass : unsigned char { kOtherByte, kSeparatorByte, kWordOrDotByte };
constexpr std::array<ByteClass, 256> kByteClasses = [] {
  std::array<ByteClass, 256> classes{};
  for (int byte = 0; byte < 256; ++byte) {
    if (lexical_detail::kWordBytes[byte] || byte == '.') classes[byte] = kWordOrDotByte;
  }
  for (const char byte : {' ', '\t', '\r', '\n', '\v', '\f'}) {
    classes[static_cast<unsigned char>(byte)] = kSeparatorByte;
  }
  return classes;
}();

bool IsSeparator(char byte) {
  return kByteClasses[static_cast<unsigned char>(byte)] == kSeparatorByte;
}

bool IsWordByteOrDot(char byte) {
  return kByteClasses[static_cast<unsigned char>(byte)] == kWordOrDotByte;
}

// Whether `text` holds a byte pair that opens or closes a block comment.
bool HoldsCommentMark(std::string_view text) {
  for (std::size_t star = text.find('*'); star != kNotFound; star = text.find('*', star + 1)) {
    if ((star > 0 && text[star - 1] == '/') || (star + 1 < text.size() && text[star + 1] == '/'))
      return true;
  }
  return false;
}

// One past the quote that closes the string or name opened by `quote` at `at`, or kNotFound.
std::size_t QuotedEnd(std::string_view text, std::size_t at, char quote) {
  return QuotedClose(text, at + 1, text.size(), quote);
}

// One past the "*/" that closes the block comment opened at `at`, or kNotFound.
std::size_t BlockCommentEnd(std::string_view text, std::size_t at) {
  std::size_t depth = 1;
  return BlockCommentClose(text, at + 2, text.size(), depth);
}

enum class TokenKind : unsigned char {
  kNone,    // the text has ended
  kBroken,  // a string, name or block comment that does not close
  kWord,
  kString,
  kOpen,
  kClose,
  kComma,
  kSemicolon,
  kEquals,
  kSign,  // + or -
  kOther,
};

struct Token {
  TokenKind kind = TokenKind::kNone;
  std::size_t start = 0;
  std::size_t end = 0;
  bool afterLineFeed = false;  // a line feed in code stands between it and the token before
};

// Reads the tokens of a statement one by one, with one token of lookahead, and notes the first
// place where a block comment around the text would be broken.
class TokenReader {
 public:
  explicit TokenReader(std::string_view text) : text_(text) {}

  const Token& Peek() {
    if (!peeked_) {
      peek_ = Read();
      peeked_ = true;
    }
    return peek_;
  }
  Token Take() {
    Peek();
    peeked_ = false;
    return peek_;
  }
  std::string_view Text(const Token& token) const {
    return text_.substr(token.start, token.end - token.start);
  }
  bool IsWord(const Token& token, std::string_view word) const {
    return token.kind == TokenKind::kWord && EqualsLowerCase(Text(token), word);
  }
  // The first byte of a string, name or "--" comment holding "/*" or "*/", or of a "*/" in code.
  std::size_t FirstFlaw() const { return flaw_; }

 private:
  Token Read();
  bool SkipSeparators(Token& token);
  Token ReadWord(Token token);
  void NoteFlaw(std::size_t at) { flaw_ = std::min(flaw_, at); }
  char ByteAt(std::size_t at) const { return at < text_.size() ? text_[at] : '\0'; }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool peeked_ = false;
  Token peek_;
  std::size_t flaw_ = kNotFound;
};

// Skips blanks, line ends and comments before a token. False for a block comment that does not
// close; the token is then broken.
bool TokenReader::SkipSeparators(Token& token) {
  while (pos_ < text_.size()) {
    const char byte = text_[pos_];
    if (IsSeparator(byte)) {
      token.afterLineFeed |= byte == '\n';
      ++pos_;
    } else if (byte == '-' && ByteAt(pos_ + 1) == '-') {
      const std::size_t lineFeed = std::min(text_.find('\n', pos_), text_.size());
      if (HoldsCommentMark(text_.substr(pos_, lineFeed - pos_))) NoteFlaw(pos_);
      pos_ = lineFeed;
    } else if (byte == '/' && ByteAt(pos_ + 1) == '*') {
      const std::size_t end = BlockCommentEnd(text_, pos_);
      if (end == kNotFound) return false;
      // A line feed inside the comment ends a line as one in code does.
      if (text_.substr(pos_, end - pos_).find('\n') != kNotFound) token.afterLineFeed = true;
      pos_ = end;
    } else {
      break;
    }
  }
  return true;
}

// A word from token.start on: word bytes glued to [names] and "names".
Token TokenReader::ReadWord(Token token) {
  std::size_t at = token.start;
  while (at < text_.size()) {
    while (at < text_.size() && IsWordByteOrDot(text_[at])) ++at;
    if (at == text_.size()) break;
    const char byte = text_[at];
    if (byte != '[' && byte != '"') break;
    const std::size_t end = QuotedEnd(text_, at, ClosingQuote(byte));
    if (end == kNotFound) {
      token.kind = TokenKind::kBroken;
      pos_ = text_.size();
      return token;
    }
    if (HoldsCommentMark(text_.substr(at, end - at))) NoteFlaw(at);
    at = end;
  }
  token.kind = TokenKind::kWord;
  token.end = pos_ = at;
  return token;
}

Token TokenReader::Read() {
  Token token;
  if (!SkipSeparators(token)) {
    token.kind = TokenKind::kBroken;
    token.start = token.end = pos_;
    pos_ = text_.size();
    return token;
  }
  token.start = token.end = pos_;
  if (pos_ == text_.size()) return token;
  const char byte = text_[pos_];
  const bool nString = LowerCaseByte(byte) == 'n' && ByteAt(pos_ + 1) == '\'';
  if (byte == '\'' || nString) {
    const std::size_t end = QuotedEnd(text_, nString ? pos_ + 1 : pos_, '\'');
    if (end == kNotFound) {
      token.kind = TokenKind::kBroken;
      pos_ = text_.size();
      return token;
    }
    if (HoldsCommentMark(text_.substr(pos_, end - pos_))) NoteFlaw(pos_);
    token.kind = TokenKind::kString;
    token.end = pos_ = end;
    return token;
  }
  if (IsWordByteOrDot(byte) || byte == '[' || byte == '"') return ReadWord(token);
  switch (byte) {
    case '(':
      token.kind = TokenKind::kOpen;
      break;
    case ')':
      token.kind = TokenKind::kClose;
      break;
    case ',':
      token.kind = TokenKind::kComma;
      break;
    case ';':
      token.kind = TokenKind::kSemicolon;
      break;
    case '=':
      token.kind = TokenKind::kEquals;
      break;
    case '+':
    case '-':
      token.kind = TokenKind::kSign;
      break;
    default:
      token.kind = TokenKind::kOther;
      break;
  }
  if (byte == '*' && ByteAt(pos_ + 1) == '/') NoteFlaw(pos_);
  token.end = pos_ = pos_ + 1;
  return token;
}

constexpr std::array<std::string_view, 15> kStatementWords = {
    "begin",  "exec",   "execute", "if",    "return", "raiserror", "set",  "select",
    "insert", "update", "delete",  "print", "throw",  "declare",   "while"};

bool StartsStatement(std::string_view word) {
  return std::any_of(
      kStatementWords.begin(), kStatementWords.end(),
      [word](std::string_view statement) { return EqualsLowerCase(word, statement); });
}

// A word that can stand as a procedure name or a value.
bool IsPlainWord(TokenReader& reader, const Token& token) {
  if (token.kind != TokenKind::kWord) return false;
  const std::string_view word = reader.Text(token);
  return !EqualsLowerCase(word, "end") && !EqualsLowerCase(word, "else") && !StartsStatement(word);
}

bool IsVariable(TokenReader& reader, const Token& token) {
  return token.kind == TokenKind::kWord && reader.Text(token).front() == '@';
}

// Whether the next tokens are a variable and "=", as in "@rc =" or "@errorid =".
bool NextIsAssignment(TokenReader& reader) {
  if (!IsVariable(reader, reader.Peek())) return false;
  TokenReader probe = reader;
  probe.Take();
  return probe.Peek().kind == TokenKind::kEquals;
}

bool IsNumber(TokenReader& reader, const Token& token) {
  if (token.kind != TokenKind::kWord) return false;
  const char first = reader.Text(token).front();
  return (first >= '0' && first <= '9') || first == '.';
}

// Reads on from an opening parenthesis (taken) through the one that closes it.
bool ReadParenthesised(TokenReader& reader, std::size_t& end) {
  for (std::size_t depth = 1; depth > 0;) {
    const Token token = reader.Take();
    if (token.kind == TokenKind::kNone || token.kind == TokenKind::kBroken) return false;
    if (token.kind == TokenKind::kOpen) ++depth;
    if (token.kind == TokenKind::kClose) --depth;
    end = token.end;
  }
  return true;
}

// Whether the next token starts an argument of exec.
bool StartsArgument(TokenReader& reader) {
  const Token& next = reader.Peek();
  if (next.kind == TokenKind::kString || next.kind == TokenKind::kOpen || IsPlainWord(reader, next))
    return true;
  if (next.kind != TokenKind::kSign) return false;
  TokenReader probe = reader;
  probe.Take();
  return IsNumber(probe, probe.Peek());
}

// A value: a word, a signed number, a string or a parenthesised expression, then an optional
// output or out.
bool ReadValue(TokenReader& reader, std::size_t& end) {
  Token token = reader.Take();
  if (token.kind == TokenKind::kSign) {
    token = reader.Take();
    if (!IsNumber(reader, token)) return false;
  }
  if (token.kind == TokenKind::kOpen) {
    if (!ReadParenthesised(reader, end)) return false;
  } else if (token.kind == TokenKind::kString || IsPlainWord(reader, token)) {
    end = token.end;
  } else {
    return false;
  }
  if (reader.IsWord(reader.Peek(), "output") || reader.IsWord(reader.Peek(), "out"))
    end = reader.Take().end;
  return true;
}

// After exec or execute: "@rc =", the name, and the arguments.
bool ReadExec(TokenReader& reader, std::size_t& end) {
  if (NextIsAssignment(reader)) {
    reader.Take();
    reader.Take();
  }
  const Token name = reader.Take();
  if (name.kind == TokenKind::kOpen) {
    if (!ReadParenthesised(reader, end)) return false;
  } else if (IsPlainWord(reader, name)) {
    end = name.end;
  } else {
    return false;
  }
  if (!StartsArgument(reader)) return true;
  while (true) {
    if (NextIsAssignment(reader)) {
      reader.Take();
      reader.Take();
    }
    if (!ReadValue(reader, end)) return false;
    if (reader.Peek().kind != TokenKind::kComma) return true;
    reader.Take();
  }
}

// After begin: through the matching end.
bool ReadBlock(TokenReader& reader, std::size_t& end) {
  for (std::size_t depth = 1; depth > 0;) {
    const Token token = reader.Take();
    if (token.kind == TokenKind::kNone || token.kind == TokenKind::kBroken) return false;
    if (reader.IsWord(token, "begin") || reader.IsWord(token, "case")) ++depth;
    if (reader.IsWord(token, "end")) --depth;
    end = token.end;
  }
  return true;
}

// From `first` on through the end of its line, or of the line where its parentheses close.
bool ReadLine(TokenReader& reader, Token first, std::size_t& end) {
  std::size_t depth = 0;
  for (Token token = first;; token = reader.Take()) {
    if (token.kind == TokenKind::kOpen) ++depth;
    if (token.kind == TokenKind::kClose) {
      if (depth == 0) return false;
      --depth;
    }
    end = token.end;
    const Token& next = reader.Peek();
    if (next.kind == TokenKind::kNone) return depth == 0;
    if (next.afterLineFeed && depth == 0) return true;
    if (next.kind == TokenKind::kBroken) return false;
  }
}

// A statement other than IF, from its first token on.
bool ReadStatement(TokenReader& reader, const Token& first, std::size_t& end) {
  if (reader.IsWord(first, "begin")) return ReadBlock(reader, end);
  if (reader.IsWord(first, "exec") || reader.IsWord(first, "execute")) {
    end = first.end;
    return ReadExec(reader, end);
  }
  return ReadLine(reader, first, end);
}

// Reads the condition up to the word that starts the governed statement, left as the next token.
bool SkipCondition(TokenReader& reader) {
  for (std::size_t depth = 0;;) {
    const Token token = reader.Peek();
    if (token.kind == TokenKind::kNone || token.kind == TokenKind::kBroken) return false;
    if (depth == 0 && token.kind == TokenKind::kWord && StartsStatement(reader.Text(token)))
      return true;
    reader.Take();
    if (token.kind == TokenKind::kOpen) ++depth;
    if (token.kind == TokenKind::kClose) {
      if (depth == 0) return false;
      --depth;
    }
  }
}

// Whether the token after an else can start its statement.
bool StartsElseStatement(TokenReader& reader, const Token& token) {
  return token.kind == TokenKind::kOpen ||
         (token.kind == TokenKind::kWord && !reader.IsWord(token, "end") &&
          !reader.IsWord(token, "else"));
}

}  // namespace

IfStatement ReadIfStatement(std::string_view text) {
  TokenReader reader(text);
  Token token = reader.Take();
  if (token.start != 0 || !reader.IsWord(token, "if")) return {};
  // The IFs whose statement is being read, the innermost last: whether it is their else's.
  std::vector<bool> inElse;
  std::size_t end = 0;
  while (true) {
    if (reader.IsWord(token, "if")) {
      inElse.push_back(false);
      if (!SkipCondition(reader)) return {};
      token = reader.Take();
      continue;
    }
    if (!ReadStatement(reader, token, end)) return {};
    // The statement is complete, and with it each IF that it ends.
    while (true) {
      if (reader.Peek().kind == TokenKind::kSemicolon) end = reader.Take().end;
      if (inElse.empty()) return {end, reader.FirstFlaw() >= end};
      if (!inElse.back() && reader.IsWord(reader.Peek(), "else")) {
        reader.Take();
        inElse.back() = true;
        token = reader.Take();
        if (!StartsElseStatement(reader, token)) return {};
        break;
      }
      inElse.pop_back();
    }
  }
}

#include "rewrite/tsql.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

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

// The letters of the first GO line of `script` that stand at or after `from`, or kNotFound.
// Line starts are those of the whole script, so the answer does not depend on `from`.
std::size_t GoLineAfter(std::string_view script, std::size_t from) {
  while (from < script.size()) {
    const std::size_t go = FindText(script.substr(from), "go");
    if (go == kNotFound) return kNotFound;
    if (IsGoLineAt(script, from + go)) return from + go;
    from += go + 1;
  }
  return kNotFound;
}

// ---- Bytes that open a comment, a string or a name in code

constexpr std::size_t kOpenerBlock = 64;  // the bits of CodeSearch::mask_

bool IsOpener(unsigned char byte) {
  return byte == '-' || byte == '/' || byte == '\'' || byte == '[' || byte == '"';
}

// Bit i set for each opener at block[i], i < kOpenerBlock. Plain loops over a fixed count of
// bytes, which the compiler turns into vector code, and a multiplication that gathers the high
// bits of eight bytes into one byte.
std::uint64_t OpenerMask(const unsigned char* block) {
  unsigned char flags[kOpenerBlock];
  for (std::size_t i = 0; i < kOpenerBlock; ++i) {
    const unsigned char byte = block[i];
    unsigned char least = std::min<unsigned char>(byte ^ '-', byte ^ '/');
    least = std::min<unsigned char>(least, byte ^ '\'');
    least = std::min<unsigned char>(least, byte ^ '[');
    least = std::min<unsigned char>(least, byte ^ '"');
    flags[i] = least == 0 ? 0x80 : 0;
  }
  std::uint64_t mask = 0;
  for (std::size_t word = 0; word < kOpenerBlock / 8; ++word) {
    std::uint64_t high = 0;  // flags[word * 8 + i] in byte i, counted from the low end
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&high, flags + word * 8, 8);
    } else {
      for (std::size_t i = 0; i < 8; ++i) high |= std::uint64_t{flags[word * 8 + i]} << (8 * i);
    }
    mask |= ((high * 0x0002040810204081ULL) >> 56) << (8 * word);
  }
  return mask;
}

// ---- Inside comments, strings and names

// Reads a block comment at `depth` on from `pos`: one past the "*/" that closes it, or
// kNotFound when `bound` comes first (`depth` then holds the depth there).
std::size_t BlockCommentClose(std::string_view script, std::size_t pos, std::size_t bound, std::size_t& depth) {
  while (true) {
    const void* star = std::memchr(script.data() + pos, '*', bound - pos);
    if (star == nullptr) return kNotFound;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(star) - script.data());
    if (at > pos && script[at - 1] == '/') {  // "/*" opens a nested comment
      ++depth;
      pos = at + 1;
    } else if (at + 1 < bound && script[at + 1] == '/') {
      pos = at + 2;
      if (--depth == 0) return pos;
    } else {
      pos = at + 1;
    }
  }
}

// Reads a string or quoted name on from `pos`: one past the `quote` that closes it (a doubled
// one is part of the text), or kNotFound when `bound` comes first.
std::size_t QuotedClose(std::string_view script, std::size_t pos, std::size_t bound, char quote) {
  while (true) {
    const void* hit = std::memchr(script.data() + pos, quote, bound - pos);
    if (hit == nullptr) return kNotFound;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - script.data());
    if (at + 1 >= bound || script[at + 1] != quote) return at + 1;
    pos = at + 2;
  }
}

}  // namespace

std::size_t FindGoLine(std::string_view text) { return GoLineAfter(text, 0); }

// ---- CodeSearch

CodeSearch::CodeSearch(std::string_view script, std::string_view needle)
    : script_(script), needle_(needle) {}

void CodeSearch::Restart() {
  pos_ = 0;
  maskBase_ = kNotFound;
  state_ = LexicalState::kCode;
  depth_ = 0;
  goFrom_ = kNotFound;
  needleFrom_ = kNotFound;
}

std::size_t CodeSearch::NextGoLine() {
  if (goFrom_ == kNotFound || pos_ < goFrom_ || (goLine_ != kNotFound && goLine_ < pos_)) {
    goFrom_ = pos_;
    goLine_ = GoLineAfter(script_, pos_);
  }
  return goLine_;
}

void CodeSearch::SkipGoLines(std::size_t limit) {
  for (std::size_t go = NextGoLine(); go != kNotFound && go + 2 <= limit; go = NextGoLine()) {
    pos_ = go + 2;
    state_ = LexicalState::kCode;
    depth_ = 0;
  }
}

std::size_t CodeSearch::NextNeedle() {
  if (needleFrom_ == kNotFound || pos_ < needleFrom_ || (needleAt_ != kNotFound && needleAt_ < pos_)) {
    needleFrom_ = pos_;
    const std::size_t found = FindText(script_.substr(pos_), needle_);
    needleAt_ = found == kNotFound ? kNotFound : pos_ + found;
  }
  return needleAt_;
}

std::size_t CodeSearch::FindOpener(std::size_t from, std::size_t to) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(script_.data());
  while (from < to) {
    if (from < maskBase_ || from - maskBase_ >= kOpenerBlock) {
      if (script_.size() - from < kOpenerBlock) break;
      maskBase_ = from;
      mask_ = OpenerMask(bytes + from);
    }
    const std::uint64_t ahead = mask_ >> (from - maskBase_);
    if (ahead != 0) return std::min(to, from + static_cast<std::size_t>(std::countr_zero(ahead)));
    from = maskBase_ + kOpenerBlock;
  }
  for (; from < to; ++from) {
    if (IsOpener(bytes[from])) return from;
  }
  return to;
}

void CodeSearch::ReadOpener(std::size_t at) {
  const char byte = script_[at];
  const char next = at + 1 < script_.size() ? script_[at + 1] : '\0';
  pos_ = at + 1;
  if (byte == '-' && next == '-') {
    const std::size_t lineFeed = script_.find('\n', at + 2);
    if (lineFeed == kNotFound) {
      pos_ = script_.size();
      state_ = LexicalState::kLineComment;
    } else {
      pos_ = lineFeed + 1;
    }
  } else if (byte == '/' && next == '*') {
    pos_ = at + 2;
    state_ = LexicalState::kBlockComment;
    depth_ = 1;
  } else if (byte == '\'') {
    state_ = LexicalState::kString;
  } else if (byte == '[') {
    state_ = LexicalState::kBracketName;
  } else if (byte == '"') {
    state_ = LexicalState::kQuotedName;
  }
}

void CodeSearch::ReadOpenConstruct() {
  if (state_ == LexicalState::kLineComment) {  // open only at the end of the script
    pos_ = script_.size();
    return;
  }
  const std::size_t go = NextGoLine();
  const std::size_t bound = go == kNotFound ? script_.size() : go;
  std::size_t close = kNotFound;
  if (state_ == LexicalState::kBlockComment) {
    close = BlockCommentClose(script_, pos_, bound, depth_);
  } else {
    const char quote = state_ == LexicalState::kString ? '\'' : state_ == LexicalState::kBracketName ? ']' : '"';
    close = QuotedClose(script_, pos_, bound, quote);
  }
  if (close != kNotFound) {
    pos_ = close;
  } else if (go == kNotFound) {
    pos_ = script_.size();  // the script ends inside
    return;
  } else {
    pos_ = go + 2;  // a GO line closes whatever is open
  }
  state_ = LexicalState::kCode;
  depth_ = 0;
}

void CodeSearch::ReadTo(std::size_t offset) {
  offset = std::min(offset, script_.size());
  SkipGoLines(offset);
  while (pos_ < offset) {
    if (state_ != LexicalState::kCode) {
      ReadOpenConstruct();
      continue;
    }
    const std::size_t at = FindOpener(pos_, offset);
    if (at == offset) {
      pos_ = offset;
      return;
    }
    ReadOpener(at);
  }
}

std::size_t CodeSearch::In(std::string_view rest) {
  const auto from = static_cast<std::size_t>(rest.data() - script_.data());
  if (from < viewStart_) Restart();
  viewStart_ = from;
  ReadTo(from);
  while (true) {
    if (state_ != LexicalState::kCode) {
      if (pos_ >= script_.size()) return kNotFound;
      ReadOpenConstruct();
      continue;
    }
    const std::size_t needle = NextNeedle();
    if (needle == kNotFound) return kNotFound;
    SkipGoLines(needle);
    const std::size_t at = FindOpener(pos_, needle);
    if (at == needle) {
      pos_ = needle;
      break;
    }
    ReadOpener(at);
  }
  if (pos_ + needle_.size() > from + rest.size()) return kNotFound;
  return pos_ - from;
}

LexicalState StateAfter(std::string_view script) {
  CodeSearch reader(script, {});
  reader.ReadTo(script.size());
  return reader.state_;
}

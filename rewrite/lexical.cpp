#include "rewrite/lexical.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// SQL Server's reserved keywords (the Transact-SQL reference's list), in byte order.
constexpr std::string_view kReservedKeywords[] = {
    "add",
    "all",
    "alter",
    "and",
    "any",
    "as",
    "asc",
    "authorization",
    "backup",
    "begin",
    "between",
    "break",
    "browse",
    "bulk",
    "by",
    "cascade",
    "case",
    "check",
    "checkpoint",
    "close",
    "clustered",
    "coalesce",
    "collate",
    "column",
    "commit",
    "compute",
    "constraint",
    "contains",
    "containstable",
    "continue",
    "convert",
    "create",
    "cross",
    "current",
    "current_date",
    "current_time",
    "current_timestamp",
    "current_user",
    "cursor",
    "database",
    "dbcc",
    "deallocate",
    "declare",
    "default",
    "delete",
    "deny",
    "desc",
    "disk",
    "distinct",
    "distributed",
    "double",
    "drop",
    "dump",
    "else",
    "end",
    "errlvl",
    "escape",
    "except",
    "exec",
    "execute",
    "exists",
    "exit",
    "external",
    "fetch",
    "file",
    "fillfactor",
    "for",
    "foreign",
    "freetext",
    "freetexttable",
    "from",
    "full",
    "function",
    "goto",
    "grant",
    "group",
    "having",
    "holdlock",
    "identity",
    "identity_insert",
    "identitycol",
    "if",
    "in",
    "index",
    "inner",
    "insert",
    "intersect",
    "into",
    "is",
    "join",
    "key",
    "kill",
    "left",
    "like",
    "lineno",
    "load",
    "merge",
    "national",
    "nocheck",
    "nonclustered",
    "not",
    "null",
    "nullif",
    "of",
    "off",
    "offsets",
    "on",
    "open",
    "opendatasource",
    "openquery",
    "openrowset",
    "openxml",
    "option",
    "or",
    "order",
    "outer",
    "over",
    "percent",
    "pivot",
    "plan",
    "precision",
    "primary",
    "print",
    "proc",
    "procedure",
    "public",
    "raiserror",
    "read",
    "readtext",
    "reconfigure",
    "references",
    "replication",
    "restore",
    "restrict",
    "return",
    "revert",
    "revoke",
    "right",
    "rollback",
    "rowcount",
    "rowguidcol",
    "rule",
    "save",
    "schema",
    "securityaudit",
    "select",
    "semantickeyphrasetable",
    "semanticsimilaritydetailstable",
    "semanticsimilaritytable",
    "session_user",
    "set",
    "setuser",
    "shutdown",
    "some",
    "statistics",
    "system_user",
    "table",
    "tablesample",
    "textsize",
    "then",
    "to",
    "top",
    "tran",
    "transaction",
    "trigger",
    "truncate",
    "try_convert",
    "tsequal",
    "union",
    "unique",
    "unpivot",
    "update",
    "updatetext",
    "use",
    "user",
    "values",
    "varying",
    "view",
    "waitfor",
    "when",
    "where",
    "while",
    "with",
    "within",
    "writetext",
};

constexpr std::size_t kMarkBlock = 64;  // the bits of LexicalReader::mask_

// The bytes that open a comment, a string or a name in code, and the "]" that closes a name:
// what a reading stops at.
bool IsMarked(unsigned char byte) {
  return byte == '-' || byte == '/' || byte == '\'' || byte == '[' || byte == ']' || byte == '"';
}

// Bit i set for each marked byte at block[i], i < kMarkBlock: sixteen bytes compared at a time,
// and a multiplication that gathers the high bits of eight lanes into one byte.
std::uint64_t MarkMask(const unsigned char* block) {
  std::uint64_t mask = 0;
  for (std::size_t part = 0; part < kMarkBlock / sizeof(Bytes16); ++part) {
    const Bytes16 lanes = Load16(block + part * sizeof(Bytes16));
    const auto marked = reinterpret_cast<Bytes16>((lanes == '\'') | ((lanes | 2) == '/') |
                                                  (lanes == '[') | (lanes == ']') | (lanes == '"'));
    std::uint64_t words[2];  // lane i in byte i % 8 of word i / 8, counted from the low end
    std::memcpy(words, &marked, sizeof words);
    for (std::size_t word = 0; word < 2; ++word) {
      if constexpr (std::endian::native == std::endian::big)
        words[word] = __builtin_bswap64(words[word]);
      const std::uint64_t high = words[word] & 0x8080808080808080ULL;
      mask |= ((high * 0x0002040810204081ULL) >> 56) << (16 * part + 8 * word);
    }
  }
  return mask;
}

static_assert(std::is_sorted(std::begin(kReservedKeywords), std::end(kReservedKeywords)));

}  // namespace

bool IsWholeWordAt(std::string_view text, std::size_t at, std::size_t length) {
  if (at > 0 && IsWordByte(text[at - 1])) return false;
  const std::size_t after = at + length;
  return length == 0 || !IsWordByte(text[after - 1]) || after >= text.size() ||
         !IsWordByte(text[after]);
}

bool IsReservedKeyword(std::string_view word) {
  // The keywords of `word`'s first letter, then a comparison of sizes before bytes.
  constexpr auto kFirstOf = [] {
    std::array<unsigned char, 27> first{};  // index of the first keyword from each letter on
    std::size_t keyword = 0;
    for (int letter = 0; letter <= 26; ++letter) {
      while (keyword < std::size(kReservedKeywords) && kReservedKeywords[keyword][0] - 'a' < letter)
        ++keyword;
      first[letter] = static_cast<unsigned char>(keyword);
    }
    return first;
  }();
  if (word.empty() || word[0] < 'a' || word[0] > 'z') return false;
  const int letter = word[0] - 'a';
  for (std::size_t i = kFirstOf[letter]; i < kFirstOf[letter + 1]; ++i) {
    if (kReservedKeywords[i] == word) return true;
  }
  return false;
}

bool HoldsNoCode(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const char byte = text[at];
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    if (byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == ';') {
      ++at;
    } else if (byte == '-' && next == '-') {
      at = std::min(text.find('\n', at), text.size());
    } else if (byte == '/' && next == '*') {
      std::size_t depth = 1;
      at = BlockCommentClose(text, at + 2, text.size(), depth);
      if (at == kNotFound) return true;  // the comment runs to the end
    } else {
      return false;
    }
  }
  return true;
}

std::size_t QuotedClose(std::string_view text, std::size_t pos, std::size_t bound, char quote) {
  while (pos < bound) {
    const void* hit = std::memchr(text.data() + pos, quote, bound - pos);
    if (hit == nullptr) return kNotFound;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    if (at + 1 >= bound || text[at + 1] != quote) return at + 1;
    pos = at + 2;
  }
  return kNotFound;
}

std::size_t BlockCommentClose(std::string_view text, std::size_t pos, std::size_t bound,
                              std::size_t& depth) {
  while (pos < bound) {
    const void* star = std::memchr(text.data() + pos, '*', bound - pos);
    if (star == nullptr) return kNotFound;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(star) - text.data());
    if (at > pos && text[at - 1] == '/') {  // "/*" opens a nested comment
      ++depth;
      pos = at + 1;
    } else if (at + 1 < bound && text[at + 1] == '/') {
      pos = at + 2;
      if (--depth == 0) return pos;
    } else {
      pos = at + 1;
    }
  }
  return kNotFound;
}

// ---- LexicalReader

void LexicalReader::ResumeInCode(std::size_t pos) {
  pos_ = pos;
  state_ = LexicalState::kCode;
  depth_ = 0;
}

inline std::size_t LexicalReader::NextMark(std::size_t from, std::size_t to) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(text_.data());
  while (from < to) {
    if (from < maskBase_ || from - maskBase_ >= kMarkBlock) {
      if (text_.size() - from < kMarkBlock) break;
      maskBase_ = from;
      mask_ = MarkMask(bytes + from);
    }
    const std::uint64_t ahead = mask_ >> (from - maskBase_);
    if (ahead != 0) return std::min(to, from + static_cast<std::size_t>(std::countr_zero(ahead)));
    from = maskBase_ + kMarkBlock;
  }
  for (; from < to; ++from) {
    if (IsMarked(bytes[from])) return from;
  }
  return to;
}

std::size_t LexicalReader::SkipSimpleCode(std::size_t pos, std::size_t offset, std::size_t bound) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(text_.data());
  while (pos < offset) {
    if (pos < maskBase_ || pos - maskBase_ >= kMarkBlock) {
      if (text_.size() - pos < kMarkBlock) return pos;
      maskBase_ = pos;
      mask_ = MarkMask(bytes + pos);
    }
    // Bit i of `marks` stands for the byte at maskBase_ + i; those before `pos` are read.
    std::uint64_t marks = mask_ & (~std::uint64_t{0} << (pos - maskBase_));
    while (true) {
      if (marks == 0) {
        pos = std::min(offset, maskBase_ + kMarkBlock);
        break;
      }
      const std::size_t at = maskBase_ + static_cast<std::size_t>(std::countr_zero(marks));
      if (at >= offset) return offset;
      const unsigned char open = bytes[at];
      marks &= marks - 1;
      if (open == ']') continue;  // a stray "]" in code is ordinary text
      if (open != '[' && open != '"' && open != '\'') return at;  // "-" or "/"
      const unsigned char close = open == '[' ? ']' : open;
      std::size_t closed = kNotFound;
      while (marks != 0) {
        const std::size_t mark = maskBase_ + static_cast<std::size_t>(std::countr_zero(marks));
        marks &= marks - 1;
        if (mark >= bound) return at;
        if (bytes[mark] != close) continue;
        if (mark + 1 >= bound || bytes[mark + 1] != close) {
          closed = mark + 1;
          break;
        }
        // A doubled quote stands for one; its second byte is the next mark, in this block or
        // past it.
        if (mark + 1 - maskBase_ >= kMarkBlock) return at;
        marks &= marks - 1;
      }
      if (closed == kNotFound) return at;  // closes past this block: read it the long way
      if (closed >= offset) return closed;
    }
  }
  return pos;
}

std::size_t LexicalReader::FindOpener(std::size_t from, std::size_t to) {
  std::size_t at = NextMark(from, to);
  while (at < to && text_[at] == ']') at = NextMark(at + 1, to);
  return at;
}

void LexicalReader::ReadOpener(std::size_t at) {
  const char byte = text_[at];
  const char next = at + 1 < text_.size() ? text_[at + 1] : '\0';
  pos_ = at + 1;
  if (byte == '-' && next == '-') {
    const std::size_t lineFeed = text_.find('\n', at + 2);
    if (lineFeed == kNotFound) {
      pos_ = text_.size();
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

void LexicalReader::ReadCodeTo(std::size_t offset) {
  const std::size_t at = FindOpener(pos_, offset);
  if (at == offset) {
    pos_ = offset;
  } else {
    ReadOpener(at);
  }
}

bool LexicalReader::ReadOpenConstruct(std::size_t bound) {
  std::size_t close = kNotFound;
  switch (state_) {
    case LexicalState::kCode:
      return true;
    case LexicalState::kLineComment: {
      const std::size_t lineFeed = text_.substr(0, bound).find('\n', pos_);
      close = lineFeed == kNotFound ? kNotFound : lineFeed + 1;
      break;
    }
    case LexicalState::kBlockComment:
      close = BlockCommentClose(text_, pos_, bound, depth_);
      break;
    case LexicalState::kString:
      close = MarkedQuoteClose(bound, '\'');
      break;
    case LexicalState::kBracketName:
      close = MarkedQuoteClose(bound, ']');
      break;
    case LexicalState::kQuotedName:
      close = MarkedQuoteClose(bound, '"');
      break;
  }
  if (close == kNotFound) {
    pos_ = std::max(pos_, bound);
    return false;
  }
  ResumeInCode(close);
  return true;
}

std::size_t LexicalReader::MarkedQuoteClose(std::size_t bound, char quote) {
  for (std::size_t at = NextMark(pos_, bound); at < bound; at = NextMark(at + 1, bound)) {
    if (text_[at] != quote) continue;
    if (at + 1 >= bound || text_[at + 1] != quote) return at + 1;
    ++at;  // a doubled quote stands for one
  }
  return kNotFound;
}

void LexicalReader::ReadTo(std::size_t offset, std::size_t bound) {
  while (pos_ < offset) {
    char quote = '\'';
    switch (state_) {
      case LexicalState::kCode: {
        pos_ = SkipSimpleCode(pos_, offset, bound);
        if (pos_ >= offset) continue;
        const std::size_t at = NextMark(pos_, offset);
        if (at == offset) {
          pos_ = offset;
        } else if (text_[at] == ']') {
          pos_ = at + 1;
        } else if (text_[at] == '[') {
          // Most names close at the next mark, found in the same mask.
          const std::size_t close = NextMark(at + 1, bound);
          if (close < bound && text_[close] == ']' &&
              (close + 1 >= bound || text_[close + 1] != ']')) {
            pos_ = close + 1;
          } else {
            pos_ = at + 1;
            state_ = LexicalState::kBracketName;
          }
        } else {
          ReadOpener(at);
        }
        continue;
      }
      case LexicalState::kBracketName:
        quote = ']';
        break;
      case LexicalState::kQuotedName:
        quote = '"';
        break;
      case LexicalState::kString:
        break;
      default:
        if (!ReadOpenConstruct(bound)) return;
        continue;
    }
    // Inside a string or a quoted name, from mark to mark.
    const std::size_t at = NextMark(pos_, bound);
    if (at == bound) {
      pos_ = std::max(pos_, bound);
      return;
    }
    if (text_[at] != quote) {
      pos_ = at + 1;
    } else if (at + 1 < bound && text_[at + 1] == quote) {
      pos_ = at + 2;  // a doubled quote stands for one
    } else {
      ResumeInCode(at + 1);
    }
  }
}

// ---- ProcedureWords

namespace {

// Whether `code`, which starts in code, is seen to end in code without reading it construct by
// construct: it holds no comment and no string, and besides code either "names" only, an even
// count of double quotes (a doubled one inside a name counts twice), or [names] only, its last
// bracket a "]" that ends a run of an odd count (a doubled one inside a name stands for one).
// False also where it cannot tell; the caller then reads it. One pass over its bytes, sixteen
// at a time, is what most procedures as SQL Server writes them need.
bool EndsInCodeAtAGlance(std::string_view code) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(code.data());
  const std::size_t size = code.size();
  Bytes16 others{}, quotes{}, quoteParity{}, brackets{};
  const auto glance = [&](const unsigned char* at, Bytes16 lanesTaken) {
    const Bytes16 lanes = Load16(at);
    const auto quote = reinterpret_cast<Bytes16>(lanes == '"') & lanesTaken;
    // "-" and "/" differ in one bit only.
    others |= reinterpret_cast<Bytes16>((lanes == '\'') | ((lanes | 2) == '/'));
    quotes |= quote;
    quoteParity ^= quote;
    brackets |= reinterpret_cast<Bytes16>((lanes == '[') | (lanes == ']'));
  };
  if (size < sizeof(Bytes16)) {
    for (std::size_t at = 0; at < size; ++at) {
      const unsigned char byte = bytes[at];
      if (byte == '\'' || byte == '-' || byte == '/') return false;
      if (byte == '"' || byte == '[' || byte == ']') return false;  // rare this short: read it
    }
    return true;
  }
  const Bytes16 all = Bytes16{} - 1;
  std::size_t at = 0;
  for (; at + sizeof(Bytes16) <= size; at += sizeof(Bytes16)) glance(bytes + at, all);
  if (at < size) {  // the last sixteen bytes again, counting the quotes of the new ones only
    constexpr Bytes16 kLaneIndex = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const auto newLanes = static_cast<unsigned char>(sizeof(Bytes16) - (size - at));
    glance(bytes + size - sizeof(Bytes16), reinterpret_cast<Bytes16>(kLaneIndex >= newLanes));
  }
  if (AnyLane(others) || (AnyLane(quotes) && AnyLane(brackets))) return false;
  if (AnyLane(quotes)) return !OddLaneCount(quoteParity);
  if (!AnyLane(brackets)) return true;
  // The last bracket, looked for sixteen bytes at a time from the end.
  std::size_t last = size;  // one past it
  while (last >= sizeof(Bytes16)) {
    const Bytes16 lanes = Load16(bytes + last - sizeof(Bytes16));
    if (AnyLane(reinterpret_cast<Bytes16>((lanes == '[') | (lanes == ']')))) break;
    last -= sizeof(Bytes16);
  }
  while (bytes[last - 1] != '[' && bytes[last - 1] != ']') --last;
  if (bytes[last - 1] == '[') return false;
  std::size_t run = 0;
  while (run < last && bytes[last - 1 - run] == ']') ++run;
  return run % 2 == 1;
}

}  // namespace

bool ProcedureWords::InCode(std::size_t at) {
  if (at < asked_) reader_ = LexicalReader(text_);
  asked_ = at;
  if (reader_.State() == LexicalState::kCode && reader_.Pos() <= at &&
      EndsInCodeAtAGlance(text_.substr(reader_.Pos(), at - reader_.Pos()))) {
    reader_.ResumeInCode(at);
    return true;
  }
  reader_.ReadTo(at, text_.size());
  return reader_.Pos() == at && reader_.State() == LexicalState::kCode;
}

std::size_t ProcedureWords::Find(const Needle& word, std::size_t from, std::size_t limit) {
  const std::size_t length = word.Text().size();
  limit = std::min(limit, text_.size());
  while (from < limit) {
    const std::size_t found = FindBefore(text_.substr(from), word, limit - from);
    if (found == kNotFound) return kNotFound;
    const std::size_t at = from + found;
    if (IsWholeWordAt(text_, at, length) && InCode(at)) return at;
    from = at + 1;
  }
  return kNotFound;
}

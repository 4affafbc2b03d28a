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

// Bit i set for each marked byte at block[i], i < kMarkBlock. Plain loops over a fixed count of
// bytes, which the compiler turns into vector code, and a multiplication that gathers the high
// bits of eight bytes into one byte.
std::uint64_t MarkMask(const unsigned char* block) {
  unsigned char flags[kMarkBlock];
  for (std::size_t i = 0; i < kMarkBlock; ++i) {
    const unsigned char byte = block[i];
    unsigned char least = std::min<unsigned char>(byte ^ '-', byte ^ '/');
    least = std::min<unsigned char>(least, byte ^ '\'');
    least = std::min<unsigned char>(least, byte ^ '[');
    least = std::min<unsigned char>(least, byte ^ ']');
    least = std::min<unsigned char>(least, byte ^ '"');
    flags[i] = least == 0 ? 0x80 : 0;
  }
  std::uint64_t mask = 0;
  for (std::size_t word = 0; word < kMarkBlock / 8; ++word) {
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

static_assert(std::is_sorted(std::begin(kReservedKeywords), std::end(kReservedKeywords)));

}  // namespace

bool IsWholeWordAt(std::string_view text, std::size_t at, std::size_t length) {
  if (at > 0 && IsWordByte(text[at - 1])) return false;
  const std::size_t after = at + length;
  return length == 0 || !IsWordByte(text[after - 1]) || after >= text.size() ||
         !IsWordByte(text[after]);
}

bool IsReservedKeyword(std::string_view word) {
  return std::binary_search(std::begin(kReservedKeywords), std::end(kReservedKeywords), word);
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

bool ProcedureWords::InCode(std::size_t at) {
  if (at < asked_) reader_ = LexicalReader(text_);
  asked_ = at;
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

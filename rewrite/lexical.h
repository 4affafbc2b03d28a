// T-SQL's lexical rules, in one place: which bytes make a word, how comments, strings and
// quoted names open and close, which words are reserved, and where a word stands in code.
// The scan, the name cut, the insert's target, the IF statement reading and the rewrites'
// landmarks all ask here.
//
// The rules: "--" runs to the end of its line; /* */ nests; a 'string' doubles a quote to hold
// one (n'...' the same); a [name] doubles "]", a "name" doubles the quote. Every text is a view
// into the one script buffer, read without regard to the case of A-Z (search.h); positions are
// offsets into the view passed, and nothing found is kNotFound.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rewrite/search.h"

// Where the reading of a text stands after some of its bytes.
enum class LexicalState : unsigned char {
  kCode,
  kLineComment,   // after "--"; the next line feed ends it
  kBlockComment,  // inside /* */, at any depth
  kString,        // inside '...'
  kBracketName,   // inside [...]
  kQuotedName,    // inside "..."
};

namespace lexical_detail {
constexpr std::array<bool, 256> kWordBytes = [] {
  std::array<bool, 256> word{};
  for (int byte = 0; byte < 256; ++byte) {
    word[byte] = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                 (byte >= '0' && byte <= '9') || byte == '_' || byte == '@' || byte == '#' ||
                 byte == '$' || byte >= 0x80;
  }
  return word;
}();
}  // namespace lexical_detail

// Bytes of a word (a keyword, a bare name, a variable, a number): letters, digits, _ @ # $ and
// every byte from 0x80, which belongs to a letter of some code page.
inline bool IsWordByte(char byte) {
  return lexical_detail::kWordBytes[static_cast<unsigned char>(byte)];
}

// Whether the `length` bytes at `at` of `text` stand as a whole word: the byte before them is
// no word byte and, when their last byte is one, neither is the byte after them.
bool IsWholeWordAt(std::string_view text, std::size_t at, std::size_t length);

// Whether `word` (lower case) is one of SQL Server's reserved keywords, which a name can take
// only in brackets or quotes: [key], [order], [user].
bool IsReservedKeyword(std::string_view word);

// Whether `text` holds nothing but blanks, line ends, comments and semicolons.
bool HoldsNoCode(std::string_view text);

// The quote that closes a quoted name or string opened by `open` ([, " or ').
constexpr char ClosingQuote(char open) { return open == '[' ? ']' : open; }

// One past the `quote` that closes a string or quoted name whose text starts at `pos` (a
// doubled quote is part of the text), or kNotFound when `bound` comes first.
std::size_t QuotedClose(std::string_view text, std::size_t pos, std::size_t bound, char quote);

// One past the "*/" that closes a block comment at `depth`, read on from `pos`, or kNotFound
// when `bound` comes first (`depth` then holds the depth there).
std::size_t BlockCommentClose(std::string_view text, std::size_t pos, std::size_t bound,
                              std::size_t& depth);

// Reads a text forward from a position in code, construct by construct: what each byte that
// opens a comment, a string or a name (- / ' [ ") opens, and where that closes. Only those
// bytes and "]" are looked at, found 64 at a time.
class LexicalReader {
 public:
  explicit LexicalReader(std::string_view text) : text_(text) {}

  std::size_t Pos() const { return pos_; }  // the bytes before it have been read
  LexicalState State() const { return state_; }

  // Goes on in code at `pos` (a GO line closes whatever was open before it).
  void ResumeInCode(std::size_t pos);

  // In code: reads up to `offset`, or through the first byte before it that opens a construct
  // (a "--" comment is read to its line feed at once).
  void ReadCodeTo(std::size_t offset);

  // Inside a construct: reads on to where it closes, before `bound`, and goes on in code there;
  // false, at `bound` and still inside, when it does not close before.
  bool ReadOpenConstruct(std::size_t bound);

  // Reads every construct that starts before `offset`, none closing past `bound`: afterwards
  // Pos() >= offset, and the byte at `offset` stands in code when Pos() == offset and State()
  // is kCode.
  void ReadTo(std::size_t offset, std::size_t bound);

  // The first byte in [from, to) that opens a construct in code, or `to`.
  std::size_t FindOpener(std::size_t from, std::size_t to);

 private:
  void ReadOpener(std::size_t at);  // reads the byte at `at` in code, which opens a construct
  std::size_t NextMark(std::size_t from, std::size_t to);  // the first of - / ' [ ] ", or `to`
  // In code at `pos`: passes the [names], "names" and 'strings' that close within the block of
  // marks at hand, and stray "]", up to `offset`. Returns where it stopped, in code: at
  // `offset`, past a construct that closes at or after `offset`, or at a mark that the reading
  // construct by construct must take (a "-" or "/", a construct that closes in a later block or
  // past `bound`), or at the script's last block.
  std::size_t SkipSimpleCode(std::size_t pos, std::size_t offset, std::size_t bound);
  std::size_t MarkedQuoteClose(std::size_t bound, char quote);  // QuotedClose from Pos()

  std::string_view text_;
  std::size_t pos_ = 0;
  LexicalState state_ = LexicalState::kCode;
  std::size_t depth_ = 0;             // of nested block comments
  std::size_t maskBase_ = kNotFound;  // mask_ has a bit for each marked byte of the 64 there
  std::uint64_t mask_ = 0;
};

// The landmarks of one procedure: where a word stands in code (not in a comment, a string or a
// quoted name) and as a whole word (IsWholeWordAt), in a text that starts in code with
// "create procedure " and ends at the procedure's GO line, which no construct crosses. So
// `BeginBalance`, `@InsertDate`, `[sp_MSins_dboInsertion]` and `-- insert the row` hold no
// "begin" or "insert".
//
// The text is read lexically only up to the occurrences asked about, once as long as the
// questions move forward; a question about an earlier position reads it again from its start.
class ProcedureWords {
 public:
  explicit ProcedureWords(std::string_view procedure) : text_(procedure), reader_(procedure) {}

  // The first occurrence of `word` (lower case) that starts at or after `from` and before
  // `limit`, in code and as a whole word; kNotFound when there is none.
  std::size_t Find(const Needle& word, std::size_t from = 0, std::size_t limit = kNotFound);

  // Whether the byte at `at` stands in code.
  bool InCode(std::size_t at);

 private:
  std::string_view text_;
  LexicalReader reader_;
  std::size_t asked_ = 0;  // the last position asked about
};

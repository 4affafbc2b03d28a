// T-SQL read as SQL Server and sqlcmd read it, as far as the rewrites need: where a batch
// ends (GO lines), how far one IF statement reaches, and which text stands in code rather
// than in a comment, a string or a quoted name.
//
// Every text is a view into the one script buffer, read without regard to the case of A-Z
// (search.h); positions are offsets into the view passed, and nothing found is kNotFound. Nothing
// here copies the script, and every reading is linear in the bytes it looks at. The lexical
// rules themselves are lexical.h's.
#pragma once

#include <cstddef>
#include <string_view>

#include "rewrite/lexical.h"
#include "rewrite/search.h"

// The letters of the batch separator.
constexpr std::string_view kGo = "go";

// Position of the letters "go" on the first GO line of `text`, or kNotFound. A GO line holds
// "go" alone between blanks (space, tab, CR); a line starts at the start of `text` or after a
// line feed and ends at a line feed or at the end of `text`. "go" inside a word (category,
// cargo, logon) is ordinary text.
//
// The start of `text` counts as a line start. The answer is that of a search in a longer text
// for views that start at a line start, or whose text up to their first line feed is not a GO
// line by itself (views from "create procedure " on).
std::size_t FindGoLine(std::string_view text);

// How far the IF statement at the start of a text reaches.
struct IfStatement {
  std::size_t end = kNotFound;  // one past the statement's last byte, or kNotFound
  bool closable = false;        // whether [0, end) can be enclosed in one block comment
};

// Reads the IF statement at the start of `text`, which starts with the word "if" and runs to
// where the statement has to end at the latest (its procedure's GO line, or the end of the
// script).
//
// Words are separated by blanks, line ends and comments; a word is letters, digits,
// _ @ # $ . and bytes from 0x80, glued to [names] and "names" (dbo.[sp_x] is one word). The
// condition runs to the first word outside parentheses that starts a statement (begin, exec,
// execute, if, return, raiserror, set, select, insert, update, delete, print, throw, declare,
// while). The statement it governs is
//   - if: a nested IF, read the same way;
//   - begin: through its matching end (begin/end and case/end pairs nest);
//   - exec or execute: an optional "@rc =", the procedure's name (a word, or a parenthesised
//     expression), and its arguments separated by commas, through the last one. An argument
//     is "@name =" then a value, or a value; a value is a word, a number (with an optional
//     sign), a string or a parenthesised expression, optionally followed by output or out,
//     and never end, else or a word that starts a statement;
//   - any other statement: through the end of its line. A line ends at a line feed that is not
//     inside a string or a name (one inside a /* */ comment ends it too); open parentheses
//     carry the statement on to the line where they close.
// A ";" right after a statement belongs to it; after an IF's statement, an "else" continues
// that IF with one more statement (an else binds to the innermost IF that has none).
//
// `end` is one past the last byte of the statement's last word or sign: blanks and a "--"
// comment after it stay outside. It is kNotFound when `text` does not start with the word
// "if", or the statement does not end inside `text` (a begin without end, an unclosed
// parenthesis, string, name or comment, an exec without a name, a comma or else with nothing
// after it). `closable` is false when a "/*" or "*/" stands in a string, a name or a "--"
// comment before `end`, or a "*/" stands in code there: a block comment around the statement
// would then end too early or never.
IfStatement ReadIfStatement(std::string_view text);

// The state after the last byte of `script`, read from its first byte in code: pass the text
// up to some point to ask whether it ends inside a comment, a string or a name. A GO line (see
// FindGoLine) closes whatever is open, as sqlcmd ends the batch there; a byte pair that the
// rules read together (a doubled quote, "--", "/*", "*/") counts only when both bytes are in
// `script`.
LexicalState StateAfter(std::string_view script);

// Finds a needle, such as "create procedure ", where it stands in code: not inside a comment,
// a string or a quoted name. The lexical state is read from the start of the script on, once,
// as the calls move forward. A GO line closes whatever is open (as for StateAfter), so the
// reading starts afresh, in code, after the last GO line before each occurrence it looks at:
// a script of many batches costs little more than the searches for its GO lines and for the
// needle, and the bytes of a batch are read only up to the occurrences within it.
class CodeSearch {
 public:
  // `script` is the whole script; `needle` is not empty and holds none of the bytes that open
  // a comment, a string or a name (- / ' [ ").
  CodeSearch(std::string_view script, std::string_view needle);

  // First occurrence of the needle that starts in code and lies inside `rest`, or kNotFound.
  // `rest` is a view of the script. Successive calls pass views that start no earlier than
  // the previous one; a caller may skip ahead over text it has consumed, and the state there is
  // still that of the script read from its first byte. The work of all calls together is then
  // linear in the size of the script. A view that starts earlier than the previous one makes
  // the reader start again from the script's first byte.
  std::size_t In(std::string_view rest);

  // The letters of the first GO line in `rest`, a view of the script that starts where In()
  // found the needle, or later (FindGoLine(rest) there, as the needle's line is no GO line);
  // kNotFound when none follows. The GO lines that In() found are not searched again.
  std::size_t GoLineIn(std::string_view rest);

 private:
  void Restart();
  void ReadTo(std::size_t offset);           // reads every construct that starts before `offset`
  void ReadOpenConstruct();                  // reads on in a comment, string or name, to a GO line
  std::size_t GoLineFrom(std::size_t from);  // the letters of the first GO line at or after
  void SkipGoLines(std::size_t limit);       // moves past the last GO line that ends by `limit`
  std::size_t NeedleFrom(std::size_t from);  // the first occurrence at or after, in any state

  std::string_view script_;
  Needle needle_;
  LexicalReader reader_;
  std::size_t viewStart_ = 0;
  std::size_t goLine_ = kNotFound;  // the first GO line at or after goFrom_
  std::size_t goFrom_ = kNotFound;
  std::size_t needleAt_ = kNotFound;  // the first occurrence at or after needleFrom_
  std::size_t needleFrom_ = kNotFound;

  friend LexicalState StateAfter(std::string_view script);
};

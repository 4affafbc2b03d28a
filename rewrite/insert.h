// The insert-procedure rewrite.
#pragma once

#include <set>
#include <string>

#include "rewrite/cursor.h"

// Lower-case names of the tables that have no identity column, ordered byte-wise.
using NoIdentityTableSet = std::set<std::string>;

// The set's names as the membership test compares them: each folded as SQL Server's
// case-insensitive collations fold it (CaseFoldedName, io/text_fold.h). Made once per script.
NoIdentityTableSet CaseFoldedTables(const NoIdentityTableSet& tables);

// The table an insert statement writes to, read from the text that starts with "insert":
// blanks (line ends included), an optional word "into", then a name of one to three parts,
// each [bracketed], "quoted" or bare, joined by ".". Both names are lower-cased (A-Z).
struct InsertTarget {
  std::string table;       // the last part without its quoting ("]]" read as "]"): the name
                           // the table set holds
  std::string switchName;  // how the identity switch names it: the last part alone when the
                           // owner is dbo or absent (bare where it can stand bare, in brackets
                           // when it is a reserved keyword), otherwise the target as written
};

// Reads the target of the insert statement at the start of `statement`. False when there is no
// readable target (no blank after "insert", more than three parts, an empty part).
bool ReadInsertTarget(std::string_view statement, InsertTarget& target);

// Rewrites the insert procedure at the start of cursor.rest, which begins with
// "create procedure " and ends at frame.goPos. Its landmarks are words that stand in code
// (lexical.h's ProcedureWords): "set identity_insert ", "begin", "insert" and "end". Writes the
// framing first, then:
// - when the procedure holds "set identity_insert ", the text before it, leaving the rest at it;
// - when "begin" comes before the first "insert" and an "end" follows it, and the insert
//   statement has a readable target: the text before "insert", the switch-on line
//   "\tset identity_insert  <table> ON\n\n", the statement, the switch-off line (the same with
//   OFF), then
//   - when no "end" stands between "begin" and "insert" (the plain form), and the "end" after
//     the statement is the procedure's last word: "end\ngo\n", leaving the rest one byte after
//     the letters "go" of the GO line;
//   - otherwise (the concurrent-snapshot form, whose insert stands in the else branch of an
//     "if exists ... update"): the procedure from the "end" after the statement through the
//     letters of its GO line, as it stands.
//   The statement runs from "insert" up to the line feed before that "end" when the "end"
//   starts its line, else up to the "end" itself. The switch lines are written only when the
//   target table, folded by CaseFoldedName, is not in `foldedTables` (CaseFoldedTables);
// - otherwise the procedure unchanged through its GO line, saying why (CopyAsItStands).
// Ends with kNextProcedure, or kStop when a write is refused.
ProcedureEnding RewriteInsertProcedure(ScriptCursor& cursor, const ProcedureFrame& frame,
                                       const NoIdentityTableSet& foldedTables);

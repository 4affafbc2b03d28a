// The replication script transformer: reads a script of SQL Server replication procedures,
// finds each "create procedure " whose name holds "sp_ms" and a kind (del, ins, upd), frames
// the procedure with an object comment and a drop preamble and hands it to the rewrite for its
// kind, and writes the script again.
//
// The script is held once, lower-cased in place; the scan and the rewrites advance views into
// that one buffer and never copy the rest of it. Searches that may run to the end of the
// script keep their answer while it lies ahead (ForwardSearch), so a scan is linear in the
// size of the script.
#pragma once

#include <cstddef>
#include <ostream>
#include <set>
#include <string>
#include <string_view>

#include "rewrite/search.h"

// Lower-case names of the tables that have no identity column, ordered byte-wise.
using NoIdentityTableSet = std::set<std::string>;

// "create procedure ", with its trailing blank, opens every procedure.
constexpr std::string_view kCreateKeyword = "create procedure ";

// Scans a lower-cased script and writes the rewritten script to `out`. Same exceptions as
// TransformScript; stops early when `out` fails.
void ScanScript(std::string_view scriptText, const NoIdentityTableSet& tables, std::ostream& out);

// Writes one piece of output. Within the piece, every run of CR LF CR LF becomes a single LF,
// always taking the first run from the start of the piece again, so that three CR LF pairs
// leave LF CR LF and four leave LF LF. Returns false, writing nothing, when the stream has
// already failed; an empty piece writes nothing and returns true.
bool WriteScriptPiece(std::ostream& out, std::string_view piece);

// What the scan knows of the procedure being handled.
struct ProcedureFrame {
  std::string_view nameText;  // the name as cut from the create line
  std::string procName;       // at most 127 bytes
  std::string tableName;      // at most 127 bytes, without a leading "dbo"
  std::string procKind;       // the three bytes after "sp_ms"
  std::string objectHeader;   // "/****** Object:  StoredProcedure [dbo].[ name ] ******/\n \n"
  std::string dropPreamble;   // "IF object_id('dbo.[name]') IS NOT NULL ..." through the dashes
  bool objectCommentFollows;  // "/****** object" stands somewhere from this procedure on
};

// Cuts name, table and kind of the procedure at the start of `scriptText`, which begins with
// "create procedure ", as the scan does. Returns false when no "sp_ms" follows the keyword.
// Throws std::out_of_range when the keyword ends the text or the name is shorter than nine
// bytes.
bool CutProcedureName(std::string_view scriptText, ProcedureFrame& frame);

// Searches whose answers are kept across procedures (see ForwardSearch). One set per scan.
struct ScriptSearches {
  ForwardSearch objectComment{"/****** object"};
  ForwardSearch spMs{"sp_ms"};
  ForwardSearch identityInsert{"set identity_insert "};
  ForwardSearch ifSubstring{"if substring"};
  ForwardSearch rowcountTest{"if @@rowcount = 0"};
  ForwardSearch errorNumber{"20598"};
  // The delete rewrite's searches around the test and the error number; their views start at
  // the test, at the end of the number or at a line start, and move forward procedure by
  // procedure.
  ForwardSearch begin{"begin"};
  ForwardSearch lineFeed{"\n"};
  ForwardSearch nonBlank;
  ForwardSearch goLine;
  BackwardSearch finalEnd;
};

// The state of one scan, shared by the scan and the rewrites.
struct ScriptScan {
  std::string_view scriptText;  // the rest of the script; starts at "create procedure " while a
                                // rewrite runs, which shortens it from the front
  std::ostream& out;
  const NoIdentityTableSet& tables;
  ScriptSearches searches;
};

// How a rewrite ends.
enum class ProcedureEnding {
  kNextProcedure,    // the scan goes on with the shortened scriptText
  kStop,             // the scan ends; nothing more is written
  kPassRestAndStop,  // the rest of scriptText is written unchanged and the scan ends
};

// Writes the object header (only when no object comment follows) and the drop preamble.
// Returns false when a write is refused.
bool WriteProcedureFraming(ScriptScan& scan, const ProcedureFrame& frame);

// Writes scriptText[0, count) and drops it from scriptText. Returns false when refused.
bool WriteAndAdvance(ScriptScan& scan, std::size_t count);

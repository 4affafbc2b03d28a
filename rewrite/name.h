// The procedure name cut: from the create line of a replication procedure, its name and its
// kind, and the two texts that frame it in the output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "rewrite/search.h"

// "create procedure ", with its trailing blank, opens every procedure.
constexpr std::string_view kCreateKeyword = "create procedure ";

// What the scan knows of the procedure being handled.
struct ProcedureFrame {
  std::string_view nameText;  // the whole name on the create line, in its own case
  std::string procName;       // at most 127 bytes of the name on the create line, lower-cased
  std::string procKind;       // the three bytes after "sp_ms", lower-cased
  std::string objectHeader;   // "/****** Object:  StoredProcedure [dbo].[ name ] ******/\n \n"
  std::string dropPreamble;   // "IF object_id('dbo.[name]') IS NOT NULL ..." through the dashes
  bool objectCommentFollows = false;  // "/****** object" stands from this procedure on
  // Where the letters of the procedure's GO line stand in the rest of the script as the rewrite
  // receives it; the rest's size when no GO line follows. The procedure ends there.
  std::size_t goPos = 0;
};

// Searches of the name cut whose answers are kept from one procedure to the next.
struct NameSearches {
  ForwardSearch spMs{"sp_ms"};
  ForwardSearch lineFeed{"\n"};
};

// Cuts name and kind of the procedure at the start of `scriptText`, which begins with
// "create procedure " and runs to the end of the script, and builds its framing texts.
//
// The name is a replication procedure's when its create line (from the byte after the keyword
// up to the first line feed, or the end of the script) holds "sp_ms". It starts there and ends
// where its quoting ends: at the next "]" when "[" stands before it, at the next double quote
// when a double quote does (a doubled "]]" or double quote stays inside), otherwise at the
// first blank, tab, CR, "(" or ";". Without such an end on the line it runs to the line end,
// less anything from its last "]" or, then, its last double quote on. `procName` is its first
// 127 bytes (up to a zero byte) less a final "]"; the kind is the three bytes after "sp_ms".
// Both are lower-cased (A-Z), as the script is in the output.
//
// Returns false when the keyword ends the text, or the create line holds no "sp_ms" or the name
// is shorter than nine bytes ("sp_ms", a kind and "_"): not a replication procedure; `frame` is
// then left as it was. The frame's texts are filled in place and keep their memory from one
// procedure to the next.
bool CutProcedureName(std::string_view scriptText, NameSearches& searches, ProcedureFrame& frame);

// The same with searches of its own, for one procedure.
bool CutProcedureName(std::string_view scriptText, ProcedureFrame& frame);

// The procedure name cut: from the create line of a replication procedure, its name, its
// table and its kind, and the two texts that frame it in the output.
#pragma once

#include <string>
#include <string_view>

#include "rewrite/search.h"

// "create procedure ", with its trailing blank, opens every procedure.
constexpr std::string_view kCreateKeyword = "create procedure ";

// What the scan knows of the procedure being handled.
struct ProcedureFrame {
  std::string_view nameText;  // the name as cut from the create line
  std::string procName;       // at most 127 bytes
  std::string tableName;      // at most 127 bytes, without a leading "dbo"
  std::string procKind;       // the three bytes after "sp_ms"
  std::string objectHeader;   // "/****** Object:  StoredProcedure [dbo].[ name ] ******/\n \n"
  std::string dropPreamble;   // "IF object_id('dbo.[name]') IS NOT NULL ..." through the dashes
  bool objectCommentFollows = false;  // "/****** object" stands from this procedure on
};

// Searches of the name cut whose answers are kept from one procedure to the next, so that
// the cuts of a whole script look at each byte a bounded number of times.
struct NameSearches {
  ForwardSearch spMs{"sp_ms"};
  ForwardSearch lineFeed{"\n"};
  // Where the last "]" and the last double quote stand before a limit, kept for a run of
  // limits that only grow.
  struct LastMarks {
    const char* scannedFrom = nullptr;
    const char* scannedTo = nullptr;
    const char* lastBracket = nullptr;
    const char* lastQuote = nullptr;
    const char* quoteBeforeLastBracket = nullptr;
    void Cover(const char* from, const char* to);
  };
  LastMarks toLineEnd;
  LastMarks toScriptEnd;
};

// Cuts name, table and kind of the procedure at the start of `scriptText`, which begins with
// "create procedure " and runs to the end of the script, and builds its framing texts:
// - the name text runs from "sp_ms" (searched from one byte past the keyword, which in
//   generated scripts opens the name) up to the line end, or to the end of the script when
//   there is none or it comes first, then before its last "]", then before its last double
//   quote; the name is its first 127 bytes (up to a zero byte), less a final "]";
// - the kind is the three bytes after "sp_ms"; the table is what follows the kind and its
//   "_", less a leading "dbo", cut to 127 bytes.
// Returns false when no "sp_ms" follows the keyword. Throws std::out_of_range when the keyword
// ends the text or the name text is shorter than nine bytes.
bool CutProcedureName(std::string_view scriptText, NameSearches& searches, ProcedureFrame& frame);

// The same with searches of its own, for one procedure.
bool CutProcedureName(std::string_view scriptText, ProcedureFrame& frame);

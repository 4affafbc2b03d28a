// The output cursor: the rest of the script still to be handled and the stream that the
// rewritten script goes to. Every byte reaches the output through WriteScriptPiece (the
// script's own text, lower-cased) or WriteAddedText (the texts that the rewrites add).
#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>

#include "rewrite/name.h"
#include "rewrite/tsql.h"

struct ScriptCursor {
  ScriptCursor(std::string_view script, std::ostream& stream) : rest(script), out(stream) {}

  std::string_view rest;  // the script from the current position to its end; a rewrite
                          // starts with it at "create procedure " and shortens it from the front
  std::ostream& out;
  // Why the rewrite copied the procedure at hand as it stands because its own markers are
  // missing or out of order (CopyAsItStands), in a few lower-case words; empty otherwise. The
  // scan reports it and clears it.
  std::string_view copiedBecause;
};

// How the handling of one procedure ends.
enum class ProcedureEnding {
  kNextProcedure,  // the scan goes on with the shortened rest
  kStop,           // a write was refused: the scan ends and nothing more is written
};

// kNextProcedure when the writes of a procedure went through, kStop when one was refused.
inline ProcedureEnding NextUnlessRefused(bool written) {
  return written ? ProcedureEnding::kNextProcedure : ProcedureEnding::kStop;
}

// Writes one piece of the script, with A-Z lower-cased. Within the piece, every run of CR LF CR
// LF becomes a single LF, always taking the first run from the start of the piece again, so
// that three CR LF pairs leave LF CR LF and four leave LF LF. Returns false, writing nothing,
// when the stream has already failed; an empty piece writes nothing and returns true.
bool WriteScriptPiece(std::ostream& out, std::string_view piece);

// Writes a text that a rewrite adds to the script, as WriteScriptPiece does but with its
// letters as they stand.
bool WriteAddedText(std::ostream& out, std::string_view text);

// Writes rest[0, count) and drops it from the rest. Returns false when refused.
bool WriteAndAdvance(ScriptCursor& cursor, std::size_t count);

// Writes the rest unchanged through the letters of the GO line at `goPos` (through the end of
// the script when `goPos` is the rest's size) and drops what was written: kNextProcedure, or
// kStop when the write is refused.
ProcedureEnding CopyThroughGo(ScriptCursor& cursor, std::size_t goPos);

// CopyThroughGo for a procedure that a rewrite cannot take, saying why in cursor.copiedBecause.
ProcedureEnding CopyAsItStands(ScriptCursor& cursor, std::size_t goPos, std::string_view reason);

// Writes the object header (only when no object comment follows) and the drop preamble.
// Returns false when a write is refused.
bool WriteFraming(ScriptCursor& cursor, const ProcedureFrame& frame);

// A plain reading of T-SQL batches for tests, as sqlcmd splits a script: a line holding "go"
// (in any case) alone between blanks (space, tab, CR) ends a batch, even inside a comment or a
// string. Read byte by byte, independently of the transformer's own lexer, so that tests can
// hold one against the other.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "rewrite/tsql.h"

struct TsqlBatch {
  std::string_view text;  // from the batch's first byte up to its GO line (or the script's end)
  LexicalState end;       // the state after its last byte
};

// The batches of `script`: the text before each GO line, and the text after the last one
// (empty when the script ends with a GO line). A script without GO lines is one batch.
std::vector<TsqlBatch> SplitBatches(std::string_view script);

// Whether a batch ends inside a block comment, a string or a quoted name. A "--" comment at
// the end of a script is not open: it ends with the script.
bool EndsOpen(const TsqlBatch& batch);

// The state in which the byte at `offset` is read (for `offset` == script.size(), the state
// after the script). A byte that the rules read together with the one before ("--", "/*",
// "*/", a doubled quote) is read with it.
LexicalState StateAt(std::string_view script, std::size_t offset);

// Replication scripts for the benchmark, shaped like the ones SQL Server writes: the
// insert, update and delete procedure of each published table, in the three forms of the
// server's versions (2000: quoted names and parameters on the create line, updates under
// "if substring"; 2005 to 2012: bracketed names; 2014 on: Begin/End blocks and named
// arguments of sp_MSreplraiserror), with or without the "/****** Object" comment that the
// management tools write before each procedure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

#include "rewrite/scan.h"

struct ScriptOptions {
  std::uint64_t targetBytes = 0;  // stop after the table that reaches this size (0: no limit)
  std::size_t tableCount = 0;     // or after this many tables (0: no limit); with neither
                                  // limit, one table
  bool crLf = true;               // CR LF line ends, else LF
  bool oneLine = false;           // every line end becomes a blank: the script has no line
                                  // feed; only update and delete procedures, since an insert
                                  // procedure needs a line feed before its "end"
  std::uint32_t seed = 1;
};

struct GeneratedScript {
  std::uint64_t bytes = 0;
  std::size_t procedures = 0;
  NoIdentityTableSet noIdentityTables;  // never empty
};

// Writes a script to `out`. One table in twenty has a name that holds the letters "go"
// (category, cargo, ...) inside a word.
GeneratedScript WriteReplicationScript(const ScriptOptions& options, std::ostream& out);

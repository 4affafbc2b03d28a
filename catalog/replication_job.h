// The /R job: asks for the database, reads which tables have no identity column, prints
// their count and rewrites the replication script.
#pragma once

#include <string>
#include <string_view>

// The catalogue query: the lower-cased names of the product's tables that have no identity
// column, excluding names that start with "v".
extern const std::string_view kNoIdentityTablesQuery;

// Rewrites one script, `inputFile`, into `outputFile` (the name is plural for historical
// reasons; it handles one script per call).
//
// Returns false, printing nothing and leaving the output untouched, when a file name is
// empty, the operator cancels the prompt or the database work fails. Otherwise prints
// "\t<n> tables have no identity columns", has the script transformed, prints what went wrong
// with it if anything did ("file open error!!!", the no-procedures message, "file write
// error!!!") and returns whether the output holds the rewritten script.
bool ProcessReplicationScripts(const std::string& inputFile, const std::string& outputFile);

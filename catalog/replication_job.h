// The /R job: asks for the database, reads which tables have no identity column, prints
// their count and rewrites the replication script.
#pragma once

#include <string>
#include <string_view>

#include "io/status.h"

// The catalogue query: the lower-cased names of the product's tables that have no identity
// column, excluding names that start with "v".
extern const std::string_view kNoIdentityTablesQuery;

// Rewrites one script, `inputFile`, into `outputFile` (the name is plural for historical
// reasons; it handles one script per call).
//
// Fails, printing nothing on standard output and leaving the output untouched, when a file name
// is empty, the operator cancels the prompt (kCancelled) or the database work fails. Otherwise
// prints "\t<n> tables have no identity columns", has the script transformed and prints on
// standard output what went wrong with it if anything did ("file open error!!!", the
// no-procedures message, "file write error!!!"); the status then says why. When the script was
// rewritten, each procedure that had to be copied as it stands is named on standard error.
// The caller reports a failed status (its message) and chooses the exit code by its code.
Status ProcessReplicationScripts(const std::string& inputFile, const std::string& outputFile);

// The /R job: asks for the database, reads which tables have no identity column, prints
// their count and rewrites the replication script.
#pragma once

#include <string>
#include <string_view>

// The catalogue query: the lower-cased names of the product's tables that have no identity
// column, excluding names that start with "v".
extern const std::string_view kNoIdentityTablesQuery;

// Returns false, printing nothing and leaving the output untouched, when a file name is
// empty, the operator cancels the prompt or the database work fails. Otherwise prints
// "\t<n> tables have no identity columns", calls TransformScript and returns what it returned.
bool ProcessReplicationScripts(const std::string& inputFile, const std::string& outputFile);

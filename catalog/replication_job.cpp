#include "catalog/replication_job.h"

#include <cstdio>

#include "catalog/database.h"
#include "io/console.h"
#include "rewrite/script_file.h"

const std::string_view kNoIdentityTablesQuery =
    " SELECT LOWER(name) from objectdefn WHERE name not like 'v%' AND  name NOT IN ( SELECT "
    "DISTINCT  TABLE_NAME FROM INFORMATION_SCHEMA.COLUMNS  WHERE columnproperty(OBJECT_ID("
    "TABLE_NAME), COLUMN_NAME, 'IsIdentity') = 1 AND  TABLE_NAME IN (SELECT TABLE_NAME FROM "
    "INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE='BASE TABLE')  AND TABLE_NAME IN (SELECT name "
    "FROM objectdefn) ) ORDER BY name ASC ";

namespace {

// Reads the set of tables without identity columns. False when the operator cancels.
bool ReadNoIdentityTables(DatabaseSession& session, NoIdentityTableSet& tables) {
  if (!PromptForConnection(session)) return false;
  OpenConnection(session);
  ExecuteQuery(session, kNoIdentityTablesQuery);
  std::string name;
  while (FetchFirstColumn(session, name)) {
    if (!name.empty()) tables.insert(name);
  }
  return true;
}

// Says what went wrong with the script, in the words administrators know. True when the
// output holds the rewritten script.
bool ReportTransform(TransformOutcome outcome, const std::string& inputFile) {
  switch (outcome) {
    case TransformOutcome::kDone:
      return true;
    case TransformOutcome::kNotRun:
      return false;
    case TransformOutcome::kCannotRead:
      ConsoleWriteLine("file open error!!!");
      return false;
    case TransformOutcome::kNoProcedures:
      ConsoleWriteLine("input file " + inputFile +
                       " input file has no replication procedures or not in ascii coding");
      return false;
    case TransformOutcome::kCannotWrite:
      ConsoleWriteLine("file write error!!!");
      return false;
  }
  return false;
}

}  // namespace

bool ProcessReplicationScripts(const std::string& inputFile, const std::string& outputFile) {
  if (inputFile.empty() || outputFile.empty()) return false;
  NoIdentityTableSet tables;
  DatabaseSessionPtr session;
  try {
    session = StartDatabaseSession();
    if (!ReadNoIdentityTables(*session, tables)) return false;
  } catch (const DatabaseError&) {
    return false;
  }
  char countLine[64];
  std::snprintf(countLine, sizeof countLine, "\t%d tables have no identity columns\n",
                static_cast<int>(tables.size()));
  ConsoleWrite(std::string_view(countLine));
  const bool transformed =
      ReportTransform(TransformScript(inputFile, tables, outputFile), inputFile);
  try {
    CloseConnection(*session);
  } catch (const DatabaseError&) {
    // The rows are read and the script is written; a failing close changes neither.
  }
  return transformed;
}

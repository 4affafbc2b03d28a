#include "catalog/replication_job.h"

#include <cstdio>
#include <optional>
#include <utility>

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

// Reads the set of tables without identity columns; kCancelled when the operator cancels.
Status ReadNoIdentityTables(DatabaseSession& session, NoIdentityTableSet& tables) {
  Status status = PromptForConnection(session);
  if (status.ok()) status = OpenConnection(session);
  if (status.ok()) status = ExecuteQuery(session, kNoIdentityTablesQuery);
  for (std::optional<std::string> name; status.ok();) {
    status = FetchFirstColumn(session, name);
    if (!name) break;
    if (!name->empty()) tables.insert(std::move(*name));
  }
  return status;
}

// Says on standard output what went wrong with the script, in the words administrators know.
void ReportTransform(const Status& status, const std::string& inputFile) {
  switch (status.code()) {
    case Status::Code::kReadError:
      ConsoleWriteLine("file open error!!!");
      break;
    case Status::Code::kNotFound:
      ConsoleWriteLine("input file " + inputFile +
                       " input file has no replication procedures or not in ascii coding");
      break;
    case Status::Code::kWriteError:
      ConsoleWriteLine("file write error!!!");
      break;
    default:  // the caller reports the rest
      break;
  }
}

// Names on standard error each procedure that will still fail at the subscriber.
void ReportSkipped(const SkippedProcedures& skipped) {
  for (const SkippedProcedure& procedure : skipped) {
    ConsoleErrorLine("warning: " + procedure.name + " copied as it stands: " + procedure.reason);
  }
}

}  // namespace

Status ProcessReplicationScripts(const std::string& inputFile, const std::string& outputFile) {
  using Code = Status::Code;
  if (inputFile.empty())
    return Status::Error(Code::kInvalidArgument, "the input file name is empty");
  if (outputFile.empty()) {
    return Status::Error(Code::kInvalidArgument, "the output file name is empty");
  }
  NoIdentityTableSet tables;
  DatabaseSessionPtr session;
  Status read = StartDatabaseSession(session);
  if (read.ok()) read = ReadNoIdentityTables(*session, tables);
  if (!read.ok()) return read;
  char countLine[64];
  std::snprintf(countLine, sizeof countLine, "\t%d tables have no identity columns\n",
                static_cast<int>(tables.size()));
  ConsoleWrite(std::string_view(countLine));
  SkippedProcedures skipped;
  Status transformed = TransformScript(inputFile, tables, outputFile, skipped);
  ReportTransform(transformed, inputFile);
  if (transformed.ok()) ReportSkipped(skipped);
  // The rows are read and the script is written; a failing close changes neither.
  (void)CloseConnection(*session);
  return transformed;
}

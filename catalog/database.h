// The database operations the replication job needs, in the order it uses them. Each
// platform defines them once: database-odbc.cpp (unixODBC) and database-ado.cpp (ADO with
// the OLE DB Data Links dialog).
#pragma once

#include <memory>
#include <string>
#include <string_view>

// The one error of the database layer. Deliberately not a std::exception: the replication
// job catches it, and it must never reach the driver's standard-exception report.
struct DatabaseError {
  std::string sqlState;  // five characters where the driver gave one, else empty
  std::string message;
};

// The platform's handles for one run; released, in order, when the pointer goes.
struct DatabaseSession;
struct DatabaseSessionDeleter {
  void operator()(DatabaseSession* session) const noexcept;
};
using DatabaseSessionPtr = std::unique_ptr<DatabaseSession, DatabaseSessionDeleter>;

// Sets up what the later calls need. Throws DatabaseError.
DatabaseSessionPtr StartDatabaseSession();

// Asks the operator which database to use. Returns false when the operator cancels; true
// when the session holds a connection string, not yet opened. Throws DatabaseError.
bool PromptForConnection(DatabaseSession& session);

// Opens the chosen connection with its own connection string and no separate user name or
// password. Throws DatabaseError.
void OpenConnection(DatabaseSession& session);

// Runs `query` as plain text with no time limit. Throws DatabaseError.
void ExecuteQuery(DatabaseSession& session, std::string_view query);

// Moves to the next row and puts its first column, as narrow text, in `text`. Returns false
// once past the last row. Throws DatabaseError.
bool FetchFirstColumn(DatabaseSession& session, std::string& text);

// Closes the connection when it is open. Throws DatabaseError.
void CloseConnection(DatabaseSession& session);

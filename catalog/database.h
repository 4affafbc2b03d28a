// The database operations the replication job needs, in the order it uses them. Each
// platform defines them once: database-odbc.cpp (unixODBC) and database-ado.cpp (ADO with
// the OLE DB Data Links dialog).
//
// Every call returns a Status (io/status.h). A failure is kDatabaseError with one line,
// "<what failed>: <the driver's message> (<its code>)": the code is the SQLSTATE under ODBC and
// the COM result under ADO, left out where the program itself refuses; the message's line ends
// are joined and no password of the connection string is in it (catalog/connection_text.h).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "io/status.h"

// The platform's handles for one run; released, in order, when the pointer goes.
struct DatabaseSession;
struct DatabaseSessionDeleter {
  void operator()(DatabaseSession* session) const noexcept;
};
using DatabaseSessionPtr = std::unique_ptr<DatabaseSession, DatabaseSessionDeleter>;

// Sets up what the later calls need, in `session`.
Status StartDatabaseSession(DatabaseSessionPtr& session);

// Asks the operator which database to use. kCancelled when the operator cancels; ok when the
// session holds a connection string, not yet opened.
Status PromptForConnection(DatabaseSession& session);

// Opens the chosen connection with its own connection string and no separate user name or
// password. An attempt that has not connected after 15 seconds fails.
Status OpenConnection(DatabaseSession& session);

// Runs `query` as plain text with no time limit.
Status ExecuteQuery(DatabaseSession& session, std::string_view query);

// Moves to the next row and puts its first column, as narrow text, in `text`; leaves `text`
// empty once past the last row.
Status FetchFirstColumn(DatabaseSession& session, std::optional<std::string>& text);

// Closes the connection when it is open.
Status CloseConnection(DatabaseSession& session);

#include "catalog/database.h"

struct DatabaseSession {};

void DatabaseSessionDeleter::operator()(DatabaseSession* session) const noexcept {
  delete session;
}

DatabaseSessionPtr StartDatabaseSession() {
  throw DatabaseError{"", "no database layer"};
}

bool PromptForConnection(DatabaseSession&) { return false; }
void OpenConnection(DatabaseSession&) {}
void ExecuteQuery(DatabaseSession&, std::string_view) {}
bool FetchFirstColumn(DatabaseSession&, std::string&) { return false; }
void CloseConnection(DatabaseSession&) {}

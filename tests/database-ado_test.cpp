// The ADO layer without a chosen database: every call that needs the connection or the rows
// before they exist fails as a DatabaseError, never through a null object.
#include "catalog/database.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace {

struct EarlyCall {
  const char* name;
  std::function<void(DatabaseSession&)> call;
  bool missingObject;  // the call's own object is missing: E_POINTER
};

TEST(DatabaseAdo, CallsBeforeTheirObjectExistRaiseDatabaseError) {
  const EarlyCall calls[] = {
      {"OpenConnection", [](DatabaseSession& s) { OpenConnection(s); }, true},
      {"CloseConnection", [](DatabaseSession& s) { CloseConnection(s); }, true},
      {"FetchFirstColumn",
       [](DatabaseSession& s) {
         std::string text;
         FetchFirstColumn(s, text);
       },
       true},
      // The command exists where ADO is installed; it refuses to run without a connection.
      {"ExecuteQuery", [](DatabaseSession& s) { ExecuteQuery(s, "select 1"); }, false},
  };
  for (const EarlyCall& early : calls) {
    DatabaseSessionPtr session = StartDatabaseSession();
    try {
      early.call(*session);
      ADD_FAILURE() << early.name << " did not fail";
    } catch (const DatabaseError& error) {
      EXPECT_EQ(error.sqlState, "") << early.name;
      if (early.missingObject) {
        EXPECT_EQ(error.message.rfind("0x80004003", 0), 0u) << error.message;
      }
    }
  }
}

// A row walk that failed leaves the session whole: it can still be asked and released.
TEST(DatabaseAdo, SessionSurvivesAFailedCallAndEndsCleanly) {
  DatabaseSessionPtr session = StartDatabaseSession();
  std::string text = "unchanged";
  EXPECT_THROW(FetchFirstColumn(*session, text), DatabaseError);
  EXPECT_THROW(FetchFirstColumn(*session, text), DatabaseError);
  session.reset();
  // A new session enters COM again after the last one left it.
  DatabaseSessionPtr next = StartDatabaseSession();
  EXPECT_THROW(CloseConnection(*next), DatabaseError);
}

}  // namespace

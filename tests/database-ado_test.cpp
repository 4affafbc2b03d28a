// The ADO layer without a chosen database: every call that needs the connection or the rows
// before they exist fails with a database failure that says what failed, never through a null
// object.
#include "catalog/database.h"

#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace {

struct EarlyCall {
  const char* name;
  std::function<Status(DatabaseSession&)> call;
  const char* what;    // how the failure begins
  bool missingObject;  // the call's own object is missing: E_POINTER
};

TEST(DatabaseAdo, CallsBeforeTheirObjectExistFailSayingWhat) {
  const EarlyCall calls[] = {
      {"OpenConnection", [](DatabaseSession& s) { return OpenConnection(s); },
       "cannot connect: ", true},
      {"CloseConnection", [](DatabaseSession& s) { return CloseConnection(s); },
       "cannot close the connection: ", true},
      {"FetchFirstColumn",
       [](DatabaseSession& s) {
         std::optional<std::string> text;
         return FetchFirstColumn(s, text);
       },
       "cannot read the query's rows: ", true},
      // The command exists where ADO is installed; it refuses to run without a connection.
      {"ExecuteQuery", [](DatabaseSession& s) { return ExecuteQuery(s, "select 1"); },
       "cannot run the query: ", false},
  };
  for (const EarlyCall& early : calls) {
    DatabaseSessionPtr session;
    ASSERT_TRUE(StartDatabaseSession(session).ok());
    const Status status = early.call(*session);
    EXPECT_EQ(status.code(), Status::Code::kDatabaseError) << early.name;
    EXPECT_TRUE(status.message().starts_with(early.what)) << status.message();
    if (early.missingObject) {
      EXPECT_TRUE(status.message().ends_with(" (0x80004003)")) << status.message();
    }
  }
}

// A row walk that failed leaves the session whole: it can still be asked and released.
TEST(DatabaseAdo, SessionSurvivesAFailedCallAndEndsCleanly) {
  DatabaseSessionPtr session;
  ASSERT_TRUE(StartDatabaseSession(session).ok());
  std::optional<std::string> text = "unchanged";
  EXPECT_FALSE(FetchFirstColumn(*session, text).ok());
  EXPECT_FALSE(text);
  EXPECT_FALSE(FetchFirstColumn(*session, text).ok());
  session.reset();
  // A new session enters COM again after the last one left it.
  DatabaseSessionPtr next;
  ASSERT_TRUE(StartDatabaseSession(next).ok());
  EXPECT_FALSE(CloseConnection(*next).ok());
}

}  // namespace

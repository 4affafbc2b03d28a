// The attributes of a connection string, and a driver's message made into one line without the
// password.
#include "catalog/connection_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

Attributes AttributesOf(std::string_view connectionString) {
  Attributes attributes;
  ForEachAttribute(connectionString, [&](std::string_view keyword, std::string_view value) {
    attributes.emplace_back(keyword, value);
  });
  return attributes;
}

TEST(ConnectionText, AttributesAreCutAsDriverManagersCutThem) {
  const struct {
    std::string connectionString;
    Attributes attributes;
  } cases[] = {
      {"Driver=PostgreSQL Unicode;Server=db1;Pwd=s",
       {{"Driver", "PostgreSQL Unicode"}, {"Server", "db1"}, {"Pwd", "s"}}},
      {" Driver = {x;y} ; Pwd=p", {{"Driver", "x;y"}, {"Pwd", "p"}}},
      {"Driver={a}}b;c};Uid=u", {{"Driver", "a}}b;c"}, {"Uid", "u"}}},
      {"Password=\"a;b\";User ID='it''s'", {{"Password", "a;b"}, {"User ID", "it''s"}}},
      {"novalue;Uid=u;;", {{"Uid", "u"}}},
      {"Pwd={never closed", {{"Pwd", "never closed"}}},
      {"", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AttributesOf(c.connectionString), c.attributes) << c.connectionString;
}

TEST(ConnectionText, DiagnosticIsOneLineWithoutThePassword) {
  const struct {
    std::string text;
    std::string connectionString;
    std::string line;
  } cases[] = {
      // Line ends, with the blanks around them, are joined; blanks inside a line stay.
      {"port 1 failed: Connection refused\n\tIs the server running?\n", "",
       "port 1 failed: Connection refused Is the server running?"},
      {" FATAL:  password authentication failed \r\n\r\n  for user \"qtv\" ", "",
       "FATAL:  password authentication failed for user \"qtv\""},
      // The connection string's password, wherever the text repeats it.
      {"Can't open lib 'hunter2' : file not found", "Driver={hunter2};Pwd=hunter2",
       "Can't open lib '***' : file not found"},
      {"rejected se;cret and se;cret", "UID=u;password={se;cret}", "rejected *** and ***"},
      {"bad 'a;b'", "Provider=SQLOLEDB;Password=\"a;b\";User ID=sa", "bad '***'"},
      // The longest first, so that no part of a longer one is left beside the mask.
      {"abcdef", "Pwd=abc;PASSWORD=abcdef", "***"},
      // An echoed connection string whose password the program does not know (a data source's).
      {"cannot use 'DSN=x;PWD=hidden;UID=u'", "DSN=x", "cannot use 'DSN=x;PWD=***;UID=u'"},
      {"with Password={a;b};Uid=u", "DSN=x", "with Password=***;Uid=u"},
      {"pwd=hidden\nthe next line", "DSN=x", "pwd=*** the next line"},
      // Nothing to hide.
      {"Data source name not found", "DSN=nosuch;Pwd=", "Data source name not found"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DiagnosticLine(c.text, c.connectionString), c.line) << c.text;
  }
}

TEST(ConnectionText, FailureSaysWhatFailedAndGivesTheDriversCode) {
  const Status withCode =
      DatabaseFailure("cannot connect", "refused\n", "08001", "Uid=qtv;Pwd=refused");
  EXPECT_EQ(withCode.code(), Status::Code::kDatabaseError);
  EXPECT_EQ(withCode.message(), "cannot connect: *** (08001)");
  EXPECT_EQ(DatabaseFailure("cannot run the query", "no connection is open", "", "").message(),
            "cannot run the query: no connection is open");
}

}  // namespace

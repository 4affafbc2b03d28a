// The ODBC database layer: its text conversions, and against the PostgreSQL fixture the
// prompt's one line from a pipe, the query, the column reads and the errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "catalog/database.h"
#include "catalog/replication_job.h"
#include "io/text_codec.h"
#include "tests/support.h"

namespace {

TEST(OdbcText, Utf16BecomesUtf8UpToTheFirstNul) {
  const struct {
    std::u16string wide;
    std::string narrow;
  } cases[] = {
      {u"orders", "orders"},
      {u"gr\u00F6\u00DFe \u20AC",
       "gr\xC3\xB6\xC3\x9F"
       "e \xE2\x82\xAC"},
      {u"x\xD83D\xDE00y", "x\xF0\x9F\x98\x80y"},      // a surrogate pair
      {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},          // the last code point
      {u"a\xD83D", "a\xEF\xBF\xBD"},                  // high surrogate at the end
      {u"\xD83Dx", "\xEF\xBF\xBDx"},                  // high surrogate before a letter
      {u"\xDE00", "\xEF\xBF\xBD"},                    // low surrogate alone
      {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // the pair reversed
      {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {std::u16string(u"ab\0cd", 5), "ab"},
      {std::u16string(u"\0", 1), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8FromUtf16(c.wide), c.narrow) << testing::PrintToString(c.narrow);
  }
}

TEST(OdbcText, Utf8BecomesUtf16WithEachBadByteReplaced) {
  const struct {
    std::string narrow;
    std::u16string wide;
  } cases[] = {
      {"Driver=PostgreSQL Unicode;Pwd=s\xC3\xA9"
       "cret",
       u"Driver=PostgreSQL Unicode;Pwd=s\u00E9cret"},
      {"\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u20AC\xD83D\xDE00"},
      {"\x80", u"\xFFFD"},                                // stray continuation byte
      {"\xC0\xAF", u"\xFFFD\xFFFD"},                      // overlong "/"
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // past U+10FFFF
      {"\xE2\x82", u"\xFFFD\xFFFD"},                      // cut off at the end
      {"\xE2\x82x", u"\xFFFD\xFFFDx"},                    // cut off before a letter
      {"\xFF", u"\xFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16FromUtf8(c.narrow), c.wide) << testing::PrintToString(c.narrow);
  }
}

// Puts `text` on this process's standard input while the object lives.
class StandardInput {
 public:
  explicit StandardInput(const std::string& text) : saved_(dup(STDIN_FILENO)) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    EXPECT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fds[1]);
    dup2(fds[0], STDIN_FILENO);
    if (fds[0] != STDIN_FILENO) close(fds[0]);
  }
  ~StandardInput() {
    if (saved_ >= 0) {
      dup2(saved_, STDIN_FILENO);
      close(saved_);
    } else {
      close(STDIN_FILENO);
    }
  }
  StandardInput(const StandardInput&) = delete;
  StandardInput& operator=(const StandardInput&) = delete;

 private:
  int saved_;
};

// Runs `query` over `connection` chosen at the prompt and reads the first column of every row
// into `rows`; returns the first failure.
Status RunQuery(const std::string& connection, std::string_view query,
                std::vector<std::string>& rows) {
  DatabaseSessionPtr session;
  Status status = StartDatabaseSession(session);
  if (status.ok()) {
    StandardInput input(connection + "\n");
    status = PromptForConnection(*session);
  }
  if (status.ok()) status = OpenConnection(*session);
  if (status.ok()) status = ExecuteQuery(*session, query);
  for (std::optional<std::string> text = "left over"; status.ok() && text;) {
    status = FetchFirstColumn(*session, text);
    if (text) rows.push_back(*text);
  }
  if (status.ok()) status = CloseConnection(*session);
  return status;
}

// The first column of every row that `query` returns; a failure fails the test.
std::vector<std::string> QueryRows(const std::string& connection, std::string_view query) {
  std::vector<std::string> rows;
  const Status status = RunQuery(connection, query, rows);
  EXPECT_TRUE(status.ok()) << query << ": " << status.message();
  return rows;
}

// The query goes to the server exactly as the product's administrators know it, blanks and all.
TEST(OdbcLayer, CatalogueQueryIsSentAsWritten) {
  EXPECT_EQ(kNoIdentityTablesQuery,
            " SELECT LOWER(name) from objectdefn WHERE name not like 'v%' AND  name NOT IN ( "
            "SELECT DISTINCT  "
            "TABLE_NAME FROM INFORMATION_SCHEMA.COLUMNS  WHERE "
            "columnproperty(OBJECT_ID(TABLE_NAME), COLUMN_NAME, "
            "'IsIdentity') = 1 AND  TABLE_NAME IN (SELECT TABLE_NAME FROM "
            "INFORMATION_SCHEMA.TABLES WHERE "
            "TABLE_TYPE='BASE TABLE')  AND TABLE_NAME IN (SELECT name FROM objectdefn) ) ORDER BY "
            "name ASC ");
}

TEST(OdbcLayer, CatalogueQueryReturnsEveryRowAsStored) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  // The identity tables (orders, audit: identity; items: serial) and 'vaccounts' are left out;
  // the duplicate and the empty name come back as rows.
  EXPECT_EQ(QueryRows(connection, kNoIdentityTablesQuery),
            (std::vector<std::string>{"", "customers", "customers", "notatable", "regions"}));
}

TEST(OdbcLayer, ReadsTheFirstColumnAsUtf8WhateverItsLength) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const std::string emoji = "\xF0\x9F\x98\x80";
  const struct {
    std::string query;
    std::vector<std::string> rows;
  } cases[] = {
      {"SELECT 'Gr\xC3\xB6\xC3\x9F"
       "e \xE2\x82\xAC', 2",
       {"Gr\xC3\xB6\xC3\x9F"
        "e \xE2\x82\xAC"}},
      {"SELECT 'x" + emoji + "y'", {"x" + emoji + "y"}},
      {"SELECT NULL::text", {""}},
      {"SELECT 42", {"42"}},
      {"SELECT ''", {""}},
      {"SELECT x FROM (VALUES (2, 'b'), (1, 'a')) v(n, x) ORDER BY n DESC", {"b", "a"}},
      {"SELECT 'none' WHERE false", {}},
      // Longer than one read: a pair split between two reads, and many reads.
      {"SELECT repeat('a', 1022) || '" + emoji + "' || repeat('b', 3000)",
       {std::string(1022, 'a') + emoji + std::string(3000, 'b')}},
      {"SELECT repeat('\xC3\xA9', 100000)", {[] {
         std::string text;
         for (int i = 0; i < 100000; ++i) text += "\xC3\xA9";
         return text;
       }()}},
  };
  for (const auto& c : cases) EXPECT_EQ(QueryRows(connection, c.query), c.rows) << c.query;
}

// Each failure says which step failed and gives the driver's message on one line, with its
// SQLSTATE.
TEST(OdbcLayer, FailuresSayWhatFailedWithTheDiagnosticsSqlState) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  QTV_REQUIRE_CONNECTION(unreachable, "QTV_TEST_ODBC_UNREACHABLE");
  const struct {
    std::string connection;
    std::string query;
    std::string what;
    std::string sqlState;
  } cases[] = {
      {connection, "SELECT name FROM no_such_table", "cannot run the query", "42P01"},
      {connection, "SELECT 1/0", "cannot run the query", "22012"},
      // Fetched a row at a time, the second row fails.
      {connection + ";UseDeclareFetch=1;Fetch=1", "SELECT 1 / (x - 2) FROM generate_series(1, 3) x",
       "cannot read the query's rows", "22012"},
      {unreachable, "", "cannot connect", "08001"},
      {"Driver=No Such Driver", "", "cannot connect",
       "01000"},  // the driver manager cannot load it
  };
  for (const auto& c : cases) {
    std::vector<std::string> rows;
    const Status status = RunQuery(c.connection, c.query, rows);
    EXPECT_EQ(status.code(), Status::Code::kDatabaseError) << c.query;
    const std::string& message = status.message();
    EXPECT_TRUE(message.starts_with(c.what + ": ")) << message;
    EXPECT_TRUE(message.ends_with(" (" + c.sqlState + ")")) << message;
    EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
  }
}

TEST(OdbcLayer, PromptTakesExactlyOneLineFromAPipe) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  DatabaseSessionPtr session;
  ASSERT_TRUE(StartDatabaseSession(session).ok());
  StandardInput input("  " + connection + " \r\nthe next line\n");
  ASSERT_TRUE(PromptForConnection(*session).ok());
  char rest[64] = {};
  EXPECT_EQ(std::string(rest, static_cast<std::size_t>(read(STDIN_FILENO, rest, sizeof rest))),
            "the next line\n");
  // The line's blanks and CR are not part of the connection string.
  EXPECT_TRUE(OpenConnection(*session).ok());
  EXPECT_TRUE(CloseConnection(*session).ok());
  EXPECT_TRUE(CloseConnection(*session).ok());  // closing a closed connection does nothing
}

}  // namespace

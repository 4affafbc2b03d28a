// Insert procedures: framing, the IDENTITY_INSERT switch lines around the insert statement of
// a table with an identity column, and the procedures that are copied unchanged.
#include "rewrite/insert.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>

#include "tests/support.h"

namespace {

// Header and preamble of the procedures used below (no "/****** object" follows them).
const std::string kOrdersFrame = ExpectedFraming("sp_msins_dboorders");
const std::string kItemsFrame = ExpectedFraming("sp_msins_dboitems");
const std::string kRegionsFrame = ExpectedFraming("sp_msins_dboregions");

// A script, the table set, and the output expected; for InsertFixture, script and output
// are names of fixtures.
struct ScriptCase {
  std::string label;
  std::string script;
  NoIdentityTableSet tables;
  std::string expected;
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.label; }

std::string CaseLabel(const testing::TestParamInfo<ScriptCase>& info) { return info.param.label; }

// Scripts modelled on generated ones.
class InsertFixture : public testing::TestWithParam<ScriptCase> {};

TEST_P(InsertFixture, WritesTheExpectedScript) {
  const ScriptCase& c = GetParam();
  EXPECT_EQ(Transform(ReadFixture(c.script), c.tables), ReadFixture(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, InsertFixture,
    testing::Values(
        // Quoted names, parameters on the create line, LF; the first table has no identity
        // column, the second has one and is the only one to get a header.
        ScriptCase{"Sql2000Lf", "insert-sql2000-lf.sql", {"aractcus_base"}, "insert-sql2000-lf.expected.sql"},
        ScriptCase{"Sql2005CrLfTableInSet", "insert-sql2005-crlf.sql", {"lkpregion"},
                   "insert-sql2005-crlf.in-set.expected.sql"},
        ScriptCase{"Sql2005CrLfTableNotInSet", "insert-sql2005-crlf.sql", {"orders"},
                   "insert-sql2005-crlf.not-in-set.expected.sql"},
        // The script of the end-to-end test, with the set its catalogue yields.
        ScriptCase{"MixedCrLf", "insert-mixed-crlf.sql", {"customers", "notatable", "regions"},
                   "insert-mixed-crlf.expected.sql"}),
    CaseLabel);

class InsertRewrite : public testing::TestWithParam<ScriptCase> {};

TEST_P(InsertRewrite, WritesTheExpectedScript) {
  const ScriptCase& c = GetParam();
  EXPECT_EQ(Transform(c.script, c.tables), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InsertRewrite,
    testing::Values(
        ScriptCase{"MixedCaseKeywords",
                   "create procedure [dbo].[sp_MSins_dboOrders]\n\t@c1 int\nAs\nBegin\n"
                   "\tINSERT Into [dbo].[Orders] ([OrderID]) Values (@c1)\nEnd\nGo\n",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [dbo].[sp_msins_dboorders]\n\t@c1 int\nas\nbegin\n\t"
                       "\tset identity_insert  orders ON\n\n"
                       "insert into [dbo].[orders] ([orderid]) values (@c1)"
                       "\tset identity_insert  orders OFF\n\n"
                       "end\ngo\n"},
        // Membership is by the whole name: neither a shorter nor a longer entry matches.
        ScriptCase{"MembershipIsExact",
                   "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\ngo\n",
                   {"order", "orders2"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (1)"
                       "\tset identity_insert  orders OFF\n\nend\ngo\n"},
        // "go" in the name comes before "\nend": the procedure and all after it pass unchanged.
        ScriptCase{"GoInsideTheTableName",
                   "create procedure [dbo].[sp_MSins_dboCategories]\n\t@c1 int\nas\nbegin\n"
                   "\tinsert into [dbo].[Categories] ([CategoryID]) values (@c1)\nend\nGO\n"
                   "create procedure [dbo].[sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\nGO\n",
                   {"customers"},
                   "/****** Object:  StoredProcedure [dbo].[ sp_msins_dbocategories ] ******/\n \n"
                   "IF object_id('dbo.[sp_msins_dbocategories]') IS NOT NULL \n"
                   "\tDROP PROCEDURE dbo.[sp_msins_dbocategories]\nGO\n---------------------------\n"
                   "create procedure [dbo].[sp_msins_dbocategories]\n\t@c1 int\nas\nbegin\n"
                   "\tinsert into [dbo].[categories] ([categoryid]) values (@c1)\nend\ngo\n"
                   "create procedure [dbo].[sp_msins_dboorders]\nas\nbegin\ninsert into orders values (1)\nend\ngo\n"},
        ScriptCase{"InsertParameterBeforeBegin",
                   "create procedure [sp_MSins_dboOrders]\n\t@InsertDate datetime\nas\nbegin\n"
                   "\tinsert into orders values (@InsertDate)\nend\ngo\n",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\n\t@insertdate datetime\nas\nbegin\n"
                       "\tinsert into orders values (@insertdate)\nend\ngo\n"},
        // Without "begin" here, the first one lies in the next procedure, after this "insert".
        ScriptCase{"BeginOnlyInALaterProcedure",
                   "create procedure [sp_MSins_dboOrders]\nas\ninsert into orders values (1)\ngo\n"
                   "create procedure [sp_MSins_dboItems]\nas\nbegin\ninsert into items values (1)\nend\ngo\n",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\ninsert into orders values (1)\ngo\n"
                       "create procedure [sp_msins_dboitems]\nas\nbegin\ninsert into items values (1)\nend\ngo\n"},
        // "end" on the statement's line, as in scripts whose line breaks were squeezed to blanks.
        ScriptCase{"NoEndAtTheStartOfALine",
                   "create procedure [sp_MSins_dboOrders]     @c1 int as begin   \tinsert into orders values "
                   "(@c1)  end    --\r\nGO\r\n",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]     @c1 int as begin   \tinsert into orders values "
                       "(@c1)  end    --\r\ngo\r\n"},
        // A project script: byte order mark, no "go" at all and no line end after "end".
        ScriptCase{"NoGoAfterTheEnd",
                   "\xEF\xBB\xBF" "create procedure [sp_MSins_dboMessage]\n    @c1 int\nas\nbegin\n"
                   "    insert into [dbo].[Message]([MessageId]) values (@c1)\nend",
                   {"customers"},
                   "\xEF\xBB\xBF/****** Object:  StoredProcedure [dbo].[ sp_msins_dbomessage ] ******/\n \n"
                   "IF object_id('dbo.[sp_msins_dbomessage]') IS NOT NULL \n"
                   "\tDROP PROCEDURE dbo.[sp_msins_dbomessage]\nGO\n---------------------------\n"
                   "create procedure [sp_msins_dbomessage]\n    @c1 int\nas\nbegin\n"
                   "    insert into [dbo].[message]([messageid]) values (@c1)\nend"},
        // The text from the switch on is copied up to the next procedure, which is rewritten.
        ScriptCase{"AlreadySwitched",
                   "create procedure [sp_MSins_dboOrders]\nas\nbegin\n"
                   "\tSET IDENTITY_INSERT [dbo].[Orders] ON\n\tinsert into orders values (1)\n"
                   "\tSET IDENTITY_INSERT [dbo].[Orders] OFF\nend\nGO\n"
                   "create procedure [sp_MSins_dboItems]\nas\nbegin\ninsert into items values (1)\nend\nGO\n",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert [dbo].[orders] on\n\tinsert into orders values (1)\n"
                       "\tset identity_insert [dbo].[orders] off\nend\ngo\n" +
                       kItemsFrame +
                       "create procedure [sp_msins_dboitems]\nas\nbegin\n"
                       "\tset identity_insert  items ON\n\ninsert into items values (1)"
                       "\tset identity_insert  items OFF\n\nend\ngo\n"},
        // The first switch lies in the second procedure: the first is copied unchanged up to
        // it, the second gets no framing of its own, and the third is rewritten.
        ScriptCase{"FirstSwitchInALaterProcedure",
                   "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\nGO\n"
                   "create procedure [sp_MSins_dboItems]\nas\nbegin\n"
                   "set identity_insert items on\ninsert into items values (1)\nend\nGO\n"
                   "create procedure [sp_MSins_dboRegions]\nas\nbegin\ninsert into regions values (1)\nend\nGO\n",
                   {"regions"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\ninsert into orders values (1)\nend\ngo\n"
                       "create procedure [sp_msins_dboitems]\nas\nbegin\n"
                       "set identity_insert items on\ninsert into items values (1)\nend\ngo\n" +
                       kRegionsFrame +
                       "create procedure [sp_msins_dboregions]\nas\nbegin\ninsert into regions values (1)"
                       "end\ngo\n"},
        // Output of the rewrite, fed through again: the procedure holds its switch lines and is
        // copied after fresh framing; the old framing is ordinary text now.
        ScriptCase{"RewrittenScriptAgain",
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (1)"
                       "\tset identity_insert  orders OFF\n\nend\ngo\n",
                   {"customers"},
                   "/****** object:  storedprocedure [dbo].[ sp_msins_dboorders ] ******/\n \n"
                   "if object_id('dbo.[sp_msins_dboorders]') is not null \n\tdrop procedure dbo.[sp_msins_dboorders]\n"
                   "go\n---------------------------\n" +
                       kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert  orders on\n\ninsert into orders values (1)"
                       "\tset identity_insert  orders off\n\nend\ngo\n"},
        // With bare line feeds the one byte after "go" is the line end: the next procedure
        // starts the leftover text, and nothing is left after the last one.
        ScriptCase{"ExactlyOneByteAfterTheFinalGo",
                   "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\ngo\n"
                   "create procedure [sp_MSins_dboRegions]\nas\nbegin\ninsert into regions values (1)\nend\ngo\n",
                   {"regions"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (1)"
                       "\tset identity_insert  orders OFF\n\nend\ngo\n" +
                       kRegionsFrame +
                       "create procedure [sp_msins_dboregions]\nas\nbegin\ninsert into regions values (1)"
                       "end\ngo\n"},
        // "go" as the last two bytes: the scan ends normally after "end\ngo\n".
        ScriptCase{"GoIsTheLastTwoBytes",
                   "create procedure [sp_MSins_dboOrders]\r\nas\r\nbegin\r\ninsert into orders values (1)\r\nend\r\nGO",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\r\nas\r\nbegin\r\n"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (1)\r"
                       "\tset identity_insert  orders OFF\n\nend\ngo\n"}),
    CaseLabel);

TEST(InsertRewrite, GoAtTheVeryEndEndsTheRunWithSuccess) {
  ScratchDir dir;
  WriteFile(dir / "in.sql", "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\nGO");
  EXPECT_EQ(TransformScript((dir / "in.sql").string(), {"orders"}, (dir / "out.sql").string()),
            TransformOutcome::kDone);
  EXPECT_EQ(ReadFile(dir / "out.sql"), kOrdersFrame +
                                           "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                                           "insert into orders values (1)end\ngo\n");
}

// A table name of 127 bytes, the most the name buffer holds, is written whole in both lines.
TEST(InsertRewrite, LongestTableNameGivesLinesOf154And155Bytes) {
  const std::string table(127, 't');
  const std::string onLine = "\tset identity_insert  " + table + " ON\n\n";
  const std::string offLine = "\tset identity_insert  " + table + " OFF\n\n";
  ASSERT_EQ(onLine.size(), 154u);
  ASSERT_EQ(offLine.size(), 155u);
  const std::string procName = "sp_msins_" + std::string(118, 't');  // cut at 127 bytes too
  const std::string output =
      Transform("create procedure [sp_MSins_" + table + "]\nas\nbegin\ninsert into t values (1)\nend\ngo\n",
                {"customers"});
  EXPECT_EQ(output, "/****** Object:  StoredProcedure [dbo].[ " + procName + " ] ******/\n \n" +
                        "IF object_id('dbo.[" + procName + "]') IS NOT NULL \n\tDROP PROCEDURE dbo.[" +
                        procName + "]\nGO\n---------------------------\n" +
                        "create procedure [sp_msins_" + table + "]\nas\nbegin\n" + onLine +
                        "insert into t values (1)" + offLine + "end\ngo\n");
}


// Once a write fails, nothing more reaches the stream and the scan ends quietly, wherever in
// the procedure the failure falls.
TEST(InsertRewrite, FailedStreamStopsTheScan) {
  std::string script =
      "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\nGO\n"
      "create procedure [sp_MSins_dboItems]\nas\nbegin\ninsert into items values (1)\nend\nGO";
  LowerCaseScript(script);
  std::ostringstream whole;
  ScanScript(script, {"customers"}, whole);
  const std::string full = whole.str();
  for (std::size_t capacity : {std::size_t{0}, std::size_t{40}, kOrdersFrame.size() + 10,
                               kOrdersFrame.size() + 60, full.size() - 5}) {
    LimitedBuffer buffer(capacity);
    std::ostream out(&buffer);
    EXPECT_NO_THROW(ScanScript(script, {"customers"}, out));
    EXPECT_TRUE(out.fail());
    EXPECT_EQ(buffer.bytes(), full.substr(0, capacity)) << "capacity " << capacity;
  }
}

// Each of a run of procedures is handled alike: the kept answers of the searches for the
// switch and for "begin" must not leak from one procedure into the next. (How the time grows
// with the number of procedures is measured by the benchmark.)
TEST(InsertRewrite, RepeatedProceduresEachComeOutAlike) {
  const struct {
    std::string procedure;
    std::string written;
  } cases[] = {
      {"create procedure [sp_MSins_dboOrders]\r\nas\r\nbegin\r\n\tinsert into orders values (@c1)\r\nend\r\nGO\r\n",
       kOrdersFrame +
           "create procedure [sp_msins_dboorders]\r\nas\r\nbegin\r\n\t"
           "\tset identity_insert  orders ON\n\ninsert into orders values (@c1)\r"
           "\tset identity_insert  orders OFF\n\nend\ngo\n\n"},
      {"create procedure [sp_MSins_dboOrders]\r\nas\r\nset identity_insert orders on\r\ninsert into orders values (@c1)\r\nGO\r\n",
       kOrdersFrame +
           "create procedure [sp_msins_dboorders]\r\nas\r\nset identity_insert orders on\r\n"
           "insert into orders values (@c1)\r\ngo\r\n"},
  };
  for (const auto& c : cases) {
    std::string script, expected;
    for (int i = 0; i < 3; ++i) {
      script += c.procedure;
      expected += c.written;
    }
    EXPECT_EQ(Transform(script, {"customers"}), expected) << c.procedure;
  }
}

}  // namespace

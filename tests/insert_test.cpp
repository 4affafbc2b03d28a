// Insert procedures: framing, the IDENTITY_INSERT switch lines around the insert statement of
// a table with an identity column (plain and concurrent-snapshot forms), the table those lines
// name (the insert's target), and the procedures that are copied unchanged through their GO
// line while the scan goes on.
#include "rewrite/insert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string_view>

#include "tests/support.h"

namespace {

// Header and preamble of the procedures used below (no "/****** object" follows them).
const std::string kOrdersFrame = ExpectedFraming("sp_msins_dboorders");
const std::string kItemsFrame = ExpectedFraming("sp_msins_dboitems");
const std::string kRegionsFrame = ExpectedFraming("sp_msins_dboregions");

// A procedure put after one that is copied unchanged: it shows up rewritten only when the scan
// went on to it (with a table set that does not hold items).
const std::string kNextProcedure =
    "create procedure [sp_MSins_dboItems]\nas\nbegin\ninsert into items values (1)\nend\nGO\n";
const std::string kNextProcedureWritten = kItemsFrame +
                                          "create procedure [sp_msins_dboitems]\nas\nbegin\n"
                                          "\tset identity_insert  items ON\n\ninsert into items "
                                          "values (1)\tset identity_insert  items OFF\n\nend\ngo\n";

// A plain insert procedure whose create line names `name` and whose body is `statement`, LF;
// written with "go" and lower-case arguments, it is the procedure as copied unchanged.
std::string InsertProcedure(const std::string& name, const std::string& statement,
                            const std::string& go = "GO") {
  return "create procedure " + name + "\n\t\t@c1 int\nas\nbegin\n\t" + statement + "\nend\n" + go +
         "\n";
}

// The same procedure as the rewrite writes it (lower case), with the identity switch lines
// naming `switchName`, or none when it is empty.
std::string InsertWritten(const std::string& name, const std::string& statement,
                          const std::string& switchName) {
  const std::string on =
      switchName.empty() ? "" : "\tset identity_insert  " + switchName + " ON\n\n";
  const std::string off =
      switchName.empty() ? "" : "\tset identity_insert  " + switchName + " OFF\n\n";
  return "create procedure " + name + "\n\t\t@c1 int\nas\nbegin\n\t" + on + statement + off +
         "end\ngo\n";
}

// A concurrent-snapshot insert procedure (its insert stands in the else branch of an
// "if exists ... update"), CR LF, in three parts: up to the insert statement, the statement
// up to the carriage return of its last line, and the rest. The *Written constants are the same
// parts as the rewrite copies them.
const std::string kCcsHead =
    "create procedure [dbo].[sp_MSins_dboMachineStatus_msrepl_ccs]\r\n\t\t@c1 int,\r\n\t\t@c2 "
    "varchar(64)\r\n"
    "as\r\nbegin\r\nif exists (select * \r\n             from [dbo].[MachineStatus]\r\n"
    "            where [MachineStatusID] = @c1)\r\nbegin\r\nupdate [dbo].[MachineStatus] set\r\n"
    "\t\t[LongName] = @c2\r\nwhere [MachineStatusID] = @c1\r\nend\r\nelse\r\nbegin\r\n\t";
const std::string kCcsStatement =
    "insert into [dbo].[MachineStatus](\r\n\t\t[MachineStatusID],\r\n\t\t[LongName]\r\n\t) values "
    "(\r\n"
    "    @c1,\r\n    @c2\t) \r";
const std::string kCcsTail = "\nend\r\nend\r\nGO\r\n";
const std::string kCcsHeadWritten =
    ExpectedFraming("sp_msins_dbomachinestatus_msrepl_ccs") +
    "create procedure [dbo].[sp_msins_dbomachinestatus_msrepl_ccs]\r\n\t\t@c1 int,\r\n\t\t@c2 "
    "varchar(64)\r\n"
    "as\r\nbegin\r\nif exists (select * \r\n             from [dbo].[machinestatus]\r\n"
    "            where [machinestatusid] = @c1)\r\nbegin\r\nupdate [dbo].[machinestatus] set\r\n"
    "\t\t[longname] = @c2\r\nwhere [machinestatusid] = @c1\r\nend\r\nelse\r\nbegin\r\n\t";
const std::string kCcsStatementWritten =
    "insert into [dbo].[machinestatus](\r\n\t\t[machinestatusid],\r\n\t\t[longname]\r\n\t) values "
    "(\r\n"
    "    @c1,\r\n    @c2\t) \r";
// The procedure's own end, through the letters of its GO line; the line end after it is copied
// with the text that follows.
const std::string kCcsTailWritten = "end\r\nend\r\ngo";
const std::string kCcsOn = "\tset identity_insert  machinestatus ON\n\n";
const std::string kCcsOff = "\tset identity_insert  machinestatus OFF\n\n";

// Removes every carriage return: the LF form of a CR LF script.
std::string WithoutCr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

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
        ScriptCase{"Sql2000Lf",
                   "insert-sql2000-lf.sql",
                   {"aractcus_base"},
                   "insert-sql2000-lf.expected.sql"},
        ScriptCase{"Sql2005CrLfTableInSet",
                   "insert-sql2005-crlf.sql",
                   {"lkpregion"},
                   "insert-sql2005-crlf.in-set.expected.sql"},
        ScriptCase{"Sql2005CrLfTableNotInSet",
                   "insert-sql2005-crlf.sql",
                   {"orders"},
                   "insert-sql2005-crlf.not-in-set.expected.sql"},
        // The script of the end-to-end test, with the set its catalogue yields.
        ScriptCase{"MixedCrLf",
                   "insert-mixed-crlf.sql",
                   {"customers", "notatable", "regions"},
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
                   "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values "
                   "(1)\nend\ngo\n",
                   {"order", "orders2"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (1)"
                       "\tset identity_insert  orders OFF\n\nend\ngo\n"},
        // "go" inside a word is text: only a line holding "go" alone ends a procedure.
        ScriptCase{"GoInsideTheTableName",
                   "create procedure [dbo].[sp_MSins_dboCategories]\n\t@c1 int\nas\nbegin\n"
                   "\tinsert into [dbo].[Categories] ([CategoryID]) values (@c1)\nend\nGO\n"
                   "create procedure [dbo].[sp_MSins_dboOrders]\nas\nbegin\ninsert into orders "
                   "values (1)\nend\nGO\n",
                   {"customers"},
                   ExpectedFraming("sp_msins_dbocategories") +
                       "create procedure [dbo].[sp_msins_dbocategories]\n\t@c1 int\nas\nbegin\n\t"
                       "\tset identity_insert  categories ON\n\n"
                       "insert into [dbo].[categories] ([categoryid]) values (@c1)"
                       "\tset identity_insert  categories OFF\n\nend\ngo\n" +
                       kOrdersFrame +
                       "create procedure [dbo].[sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (1)"
                       "\tset identity_insert  orders OFF\n\nend\ngo\n"},
        ScriptCase{"GoInsideColumnNames",
                   "create procedure [dbo].[sp_MSins_dboCargo]\r\n\t\t@c1 int,\r\n\t\t@c2 "
                   "varchar(20)\r\nas\r\n"
                   "begin\r\n\tinsert into [dbo].[Cargo](\r\n\t\t[CargoId],\r\n\t\t[Logon]\r\n\t) "
                   "values (\r\n"
                   "    @c1,\r\n    @c2\t)\r\nend\r\nGO\r\n",
                   {"customers"},
                   ExpectedFraming("sp_msins_dbocargo") +
                       "create procedure [dbo].[sp_msins_dbocargo]\r\n\t\t@c1 int,\r\n\t\t@c2 "
                       "varchar(20)\r\nas\r\n"
                       "begin\r\n\t\tset identity_insert  cargo ON\n\ninsert into "
                       "[dbo].[cargo](\r\n\t\t[cargoid],\r\n"
                       "\t\t[logon]\r\n\t) values (\r\n    @c1,\r\n    @c2\t)\r\tset "
                       "identity_insert  cargo OFF\n\n"
                       "end\ngo\n\n"},
        // Landmarks are whole words in code: a parameter holding "insert" before "begin" is
        // none.
        ScriptCase{
            "InsertParameterBeforeBeginIsNoLandmark",
            "create procedure [sp_MSins_dboOrders]\n\t@InsertDate datetime\nas\nbegin\n"
            "\tinsert into orders values (@InsertDate)\nend\ngo\n",
            {"customers"},
            kOrdersFrame +
                "create procedure [sp_msins_dboorders]\n\t@insertdate datetime\nas\nbegin\n"
                "\t\tset identity_insert  orders ON\n\ninsert into orders values (@insertdate)"
                "\tset identity_insert  orders OFF\n\nend\ngo\n"},
        // Markers missing or out of order: the procedure is framed and copied unchanged through
        // its GO line, and the scan goes on.
        // Without "begin" before its GO line; the "begin" of the next procedure is not its.
        ScriptCase{
            "BeginOnlyInALaterProcedure",
            "create procedure [sp_MSins_dboOrders]\nas\ninsert into orders values (1)\ngo\n" +
                kNextProcedure,
            {"customers"},
            kOrdersFrame +
                "create procedure [sp_msins_dboorders]\nas\ninsert into orders values (1)\ngo\n" +
                kNextProcedureWritten},
        // The statement ends at its end word wherever that stands: on the statement's line, as
        // in scripts whose line breaks were squeezed to blanks, or indented on a line of its
        // own. What follows the end word is dropped with the GO line.
        ScriptCase{"EndOnTheStatementsLine",
                   "create procedure [sp_MSins_dbot] @c1 int as begin   insert into "
                   "[dbo].[t]([id]) values (@c1)  end   --\ngo\n",
                   {"customers"},
                   ExpectedFraming("sp_msins_dbot") +
                       "create procedure [sp_msins_dbot] @c1 int as begin   "
                       "\tset identity_insert  t ON\n\ninsert into [dbo].[t]([id]) values (@c1)  "
                       "\tset identity_insert  t OFF\n\nend\ngo\n"},
        ScriptCase{"SqueezedCrLf",
                   "create procedure [sp_MSins_dboOrders]     @c1 int as begin   \tinsert into "
                   "orders values (@c1)  end    --\r\nGO\r\n",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]     @c1 int as begin   \t"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (@c1)  "
                       "\tset identity_insert  orders OFF\n\nend\ngo\n\n"},
        ScriptCase{"IndentedEnd",
                   "create procedure [sp_MSins_dbot]\nas\nbegin\n\tinsert into t values (1)\n"
                   "    end\ngo\n",
                   {"customers"},
                   ExpectedFraming("sp_msins_dbot") +
                       "create procedure [sp_msins_dbot]\nas\nbegin\n\t\tset identity_insert  t "
                       "ON\n\ninsert into t values (1)\n    \tset identity_insert  t OFF\n\n"
                       "end\ngo\n"},
        // "endpoint" is no end word.
        ScriptCase{"ColumnStartingWithEnd",
                   "create procedure [sp_MSins_dbot]\nas\nbegin\n\tinsert into t (a,\nendpoint) "
                   "values (1, 2)\nend\ngo\n",
                   {"customers"},
                   ExpectedFraming("sp_msins_dbot") +
                       "create procedure [sp_msins_dbot]\nas\nbegin\n\t\tset identity_insert  t "
                       "ON\n\ninsert into t (a,\nendpoint) values (1, 2)"
                       "\tset identity_insert  t OFF\n\nend\ngo\n"},
        // Names, strings and comments hold no landmark: a procedure and a table named with
        // "insert", an "end" in a name and a string, comments that mention the landmarks.
        ScriptCase{
            "LandmarksInNamesAndComments",
            "create procedure [sp_MSins_dboInsertedAudit]\n\t@c1 int\nas\n"
            "/* set identity_insert is done by the caller */\nbegin\n\t-- insert the row\n"
            "\tinsert into [dbo].[InsertedAudit]([id], [the end]) values (@c1, 'end')\nend\nGO\n",
            {"customers"},
            ExpectedFraming("sp_msins_dboinsertedaudit") +
                "create procedure [sp_msins_dboinsertedaudit]\n\t@c1 int\nas\n"
                "/* set identity_insert is done by the caller */\nbegin\n\t-- insert the row\n"
                "\t\tset identity_insert  insertedaudit ON\n\n"
                "insert into [dbo].[insertedaudit]([id], [the end]) values (@c1, 'end')"
                "\tset identity_insert  insertedaudit OFF\n\nend\ngo\n"},
        // A statement after the end word would be lost with the fixed end: the procedure is
        // copied as it stands.
        ScriptCase{"CodeAfterTheEndWord",
                   "create procedure [sp_MSins_dboOrders]\nas\nbegin\n\tinsert into orders "
                   "values (1)\nend\nselect 1\nGO\n" +
                       kNextProcedure,
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n\tinsert into orders "
                       "values (1)\nend\nselect 1\ngo\n" +
                       kNextProcedureWritten},
        // A project script: byte order mark, no GO line and no line end after "end". The end of
        // the script ends the procedure, which gets the fixed end and GO line.
        ScriptCase{"NoGoLineAtTheEnd",
                   "\xEF\xBB\xBF"
                   "create procedure [sp_MSins_dboMessage]\n    @c1 int\nas\nbegin\n"
                   "    insert into [dbo].[Message]([MessageId]) values (@c1)\nend",
                   {"customers"},
                   "\xEF\xBB\xBF" + ExpectedFraming("sp_msins_dbomessage") +
                       "create procedure [sp_msins_dbomessage]\n    @c1 int\nas\nbegin\n"
                       "    \tset identity_insert  message ON\n\ninsert into "
                       "[dbo].[message]([messageid]) values (@c1)"
                       "\tset identity_insert  message OFF\n\nend\ngo\n"},
        // The text from the switch on is copied up to the next procedure, which is rewritten.
        ScriptCase{"AlreadySwitched",
                   "create procedure [sp_MSins_dboOrders]\nas\nbegin\n"
                   "\tSET IDENTITY_INSERT [dbo].[Orders] ON\n\tinsert into orders values (1)\n"
                   "\tSET IDENTITY_INSERT [dbo].[Orders] OFF\nend\nGO\n"
                   "create procedure [sp_MSins_dboItems]\nas\nbegin\ninsert into items values "
                   "(1)\nend\nGO\n",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert [dbo].[orders] on\n\tinsert into orders values (1)\n"
                       "\tset identity_insert [dbo].[orders] off\nend\ngo\n" +
                       kItemsFrame +
                       "create procedure [sp_msins_dboitems]\nas\nbegin\n"
                       "\tset identity_insert  items ON\n\ninsert into items values (1)"
                       "\tset identity_insert  items OFF\n\nend\ngo\n"},
        // The search for a switch stops at the GO line: the one in the second procedure is that
        // procedure's own, and the first is rewritten.
        ScriptCase{
            "SwitchInALaterProcedureIsItsOwn",
            "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values "
            "(1)\nend\nGO\n"
            "create procedure [sp_MSins_dboItems]\nas\nbegin\n"
            "set identity_insert items on\ninsert into items values (1)\nend\nGO\n"
            "create procedure [sp_MSins_dboRegions]\nas\nbegin\ninsert into regions values "
            "(1)\nend\nGO\n",
            {"regions"},
            kOrdersFrame +
                "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                "\tset identity_insert  orders ON\n\ninsert into orders values (1)"
                "\tset identity_insert  orders OFF\n\nend\ngo\n" +
                kItemsFrame +
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
                   "if object_id('dbo.[sp_msins_dboorders]') is not null \n\tdrop procedure "
                   "dbo.[sp_msins_dboorders]\n"
                   "go\n---------------------------\n" +
                       kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                       "\tset identity_insert  orders on\n\ninsert into orders values (1)"
                       "\tset identity_insert  orders off\n\nend\ngo\n"},
        // With bare line feeds the one byte after "go" is the line end: the next procedure
        // starts the leftover text, and nothing is left after the last one.
        ScriptCase{
            "ExactlyOneByteAfterTheFinalGo",
            "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values "
            "(1)\nend\ngo\n"
            "create procedure [sp_MSins_dboRegions]\nas\nbegin\ninsert into regions values "
            "(1)\nend\ngo\n",
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
                   "create procedure [sp_MSins_dboOrders]\r\nas\r\nbegin\r\ninsert into orders "
                   "values (1)\r\nend\r\nGO",
                   {"customers"},
                   kOrdersFrame +
                       "create procedure [sp_msins_dboorders]\r\nas\r\nbegin\r\n"
                       "\tset identity_insert  orders ON\n\ninsert into orders values (1)\r"
                       "\tset identity_insert  orders OFF\n\nend\ngo\n"},
        // Concurrent-snapshot inserts: the switch lines around the insert of the else branch,
        // then the procedure's own end through its GO line; the scan goes on right after "go".
        // The table is the insert's target, not the name with its _msrepl_ccs tail.
        ScriptCase{"ConcurrentSnapshotCrLf",
                   kCcsHead + kCcsStatement + kCcsTail + kNextProcedure,
                   {"machinestatus_msrepl_ccs"},
                   kCcsHeadWritten + kCcsOn + kCcsStatementWritten + kCcsOff + kCcsTailWritten +
                       "\r\n" + kNextProcedureWritten},
        ScriptCase{"ConcurrentSnapshotCrLfTableInSet",
                   kCcsHead + kCcsStatement + kCcsTail,
                   {"machinestatus"},
                   kCcsHeadWritten + kCcsStatementWritten + kCcsTailWritten + "\r\n"},
        ScriptCase{
            "ConcurrentSnapshotLf",
            WithoutCr(kCcsHead + kCcsStatement + kCcsTail),
            {"customers"},
            WithoutCr(kCcsHeadWritten + kCcsOn + kCcsStatementWritten + kCcsOff + kCcsTailWritten) +
                "\n"},
        ScriptCase{"ConcurrentSnapshotLfTableInSet",
                   WithoutCr(kCcsHead + kCcsStatement + kCcsTail),
                   {"machinestatus"},
                   WithoutCr(kCcsHeadWritten + kCcsStatementWritten + kCcsTailWritten) + "\n"},
        // A project script holds a concurrent-snapshot insert without GO line.
        ScriptCase{"ConcurrentSnapshotWithoutGoLine",
                   kCcsHead + kCcsStatement + "\nend\r\nend\r\n",
                   {"customers"},
                   kCcsHeadWritten + kCcsOn + kCcsStatementWritten + kCcsOff + "end\r\nend\r\n"},
        // The switch lines and the membership test take the table from the insert statement:
        // its last part, bare when the owner is dbo or absent, else the target as written.
        ScriptCase{
            "NumberedName",
            InsertProcedure("[dbo].[sp_MSins_dboCASINO_319]",
                            "insert into [dbo].[CASINO]([CasinoId]) values (@c1)"),
            {"casino_319"},
            ExpectedFraming("sp_msins_dbocasino_319") +
                InsertWritten("[dbo].[sp_msins_dbocasino_319]",
                              "insert into [dbo].[casino]([casinoid]) values (@c1)", "casino")},
        ScriptCase{"NumberedNameTableInSet",
                   InsertProcedure("[dbo].[sp_MSins_dboCASINO_319]",
                                   "insert into [dbo].[CASINO]([CasinoId]) values (@c1)"),
                   {"casino"},
                   ExpectedFraming("sp_msins_dbocasino_319") +
                       InsertWritten("[dbo].[sp_msins_dbocasino_319]",
                                     "insert into [dbo].[casino]([casinoid]) values (@c1)", "")},
        ScriptCase{"OtherOwnerBracketed",
                   InsertProcedure("[sp_MSins_salesOrders]",
                                   "insert into [Sales].[Orders]([OrderId]) values (@c1)"),
                   {"salesorders"},
                   ExpectedFraming("sp_msins_salesorders") +
                       InsertWritten("[sp_msins_salesorders]",
                                     "insert into [sales].[orders]([orderid]) values (@c1)",
                                     "[sales].[orders]")},
        ScriptCase{"OtherOwnerTableInSet",
                   InsertProcedure("[sp_MSins_salesOrders]",
                                   "insert into [Sales].[Orders]([OrderId]) values (@c1)"),
                   {"orders"},
                   ExpectedFraming("sp_msins_salesorders") +
                       InsertWritten("[sp_msins_salesorders]",
                                     "insert into [sales].[orders]([orderid]) values (@c1)", "")},
        ScriptCase{"OtherOwnerQuoted",
                   InsertProcedure("\"sales\".\"sp_MSins_salesOrders\"",
                                   "insert into \"Sales\".\"Orders\"(\"OrderId\") values (@c1)"),
                   {"salesorders"},
                   ExpectedFraming("sp_msins_salesorders") +
                       InsertWritten("\"sales\".\"sp_msins_salesorders\"",
                                     "insert into \"sales\".\"orders\"(\"orderid\") values (@c1)",
                                     "\"sales\".\"orders\"")},
        ScriptCase{"ThreePartsAsTheyStand",
                   InsertProcedure("[sp_MSins_dboOrders]",
                                   "insert into [Sales].[dbo].[Orders]([OrderId]) values (@c1)"),
                   {"customers"},
                   kOrdersFrame +
                       InsertWritten("[sp_msins_dboorders]",
                                     "insert into [sales].[dbo].[orders]([orderid]) values (@c1)",
                                     "[sales].[dbo].[orders]")},
        ScriptCase{"InsertWithoutInto",
                   InsertProcedure("[sp_MSins_dboOrders]",
                                   "insert [dbo].[Orders]([OrderId]) values (@c1)"),
                   {"customers"},
                   kOrdersFrame + InsertWritten("[sp_msins_dboorders]",
                                                "insert [dbo].[orders]([orderid]) values (@c1)",
                                                "orders")},
        ScriptCase{"Sql2000QuotedTarget",
                   InsertProcedure("[dbo].[sp_MSins_Orders]",
                                   "insert into \"Orders\"( \n\"OrderId\"\n )\n\nvalues (@c1)"),
                   {"customers"},
                   ExpectedFraming("sp_msins_orders") +
                       InsertWritten("[dbo].[sp_msins_orders]",
                                     "insert into \"orders\"( \n\"orderid\"\n )\n\nvalues (@c1)",
                                     "orders")},
        ScriptCase{"NameThatCannotStandBare",
                   InsertProcedure("[sp_MSins_dboOrder Details]",
                                   "insert into [dbo].[Order Details]([OrderId]) values (@c1)"),
                   {"customers"},
                   ExpectedFraming("sp_msins_dboorder details") +
                       InsertWritten("[sp_msins_dboorder details]",
                                     "insert into [dbo].[order details]([orderid]) values (@c1)",
                                     "[order details]")},
        ScriptCase{
            "NameThatCannotStandBareTableInSet",
            InsertProcedure("[sp_MSins_dboOrder Details]",
                            "insert into [dbo].[Order Details]([OrderId]) values (@c1)"),
            {"order details"},
            ExpectedFraming("sp_msins_dboorder details") +
                InsertWritten("[sp_msins_dboorder details]",
                              "insert into [dbo].[order details]([orderid]) values (@c1)", "")},
        // Bare, a name that starts with "@" would be read as a variable.
        ScriptCase{
            "NameStartingWithAnAtSign",
            InsertProcedure("[sp_MSins_dbo@Orders]",
                            "insert into [dbo].[@Orders]([OrderId]) values (@c1)"),
            {"customers"},
            ExpectedFraming("sp_msins_dbo@orders") +
                InsertWritten("[sp_msins_dbo@orders]",
                              "insert into [dbo].[@orders]([orderid]) values (@c1)", "[@orders]")},
        // Without a readable target the procedure is framed and copied unchanged through its GO
        // line, and the scan goes on.
        ScriptCase{
            "TargetOfFourParts",
            InsertProcedure("[sp_MSins_dboOrders]",
                            "insert into [Srv].[Sales].[dbo].[Orders]([OrderId]) values (@c1)") +
                kNextProcedure,
            {"customers"},
            kOrdersFrame +
                InsertProcedure("[sp_msins_dboorders]",
                                "insert into [srv].[sales].[dbo].[orders]([orderid]) values (@c1)",
                                "go") +
                kNextProcedureWritten},
        ScriptCase{"TargetWithAnEmptyPart",
                   InsertProcedure("[sp_MSins_dboOrders]",
                                   "insert into [dbo].[]([OrderId]) values (@c1)") +
                       kNextProcedure,
                   {"customers"},
                   kOrdersFrame +
                       InsertProcedure("[sp_msins_dboorders]",
                                       "insert into [dbo].[]([orderid]) values (@c1)", "go") +
                       kNextProcedureWritten},
        // A column of the update branch holding "insert" is no landmark: the insert statement
        // of the else branch gets the switch lines.
        ScriptCase{
            "InsertInsideAWord",
            "create procedure [dbo].[sp_MSins_dboOrders_msrepl_ccs]\n\t\t@c1 int,\n\t\t@c2 "
            "datetime\nas\nbegin\n"
            "if exists (select * from [dbo].[Orders] where [OrderId] = @c1)\nbegin\n"
            "update [dbo].[Orders] set\n\t\t[InsertionDate] = @c2\nwhere [OrderId] = "
            "@c1\nend\nelse\nbegin\n"
            "\tinsert into [dbo].[Orders]([OrderId], [InsertionDate]) values (@c1, "
            "@c2)\nend\nend\nGO\n",
            {"customers"},
            ExpectedFraming("sp_msins_dboorders_msrepl_ccs") +
                "create procedure [dbo].[sp_msins_dboorders_msrepl_ccs]\n\t\t@c1 int,\n\t\t@c2 "
                "datetime\nas\n"
                "begin\nif exists (select * from [dbo].[orders] where [orderid] = @c1)\nbegin\n"
                "update [dbo].[orders] set\n\t\t[insertiondate] = @c2\nwhere [orderid] = "
                "@c1\nend\nelse\nbegin\n"
                "\t\tset identity_insert  orders ON\n\n"
                "insert into [dbo].[orders]([orderid], [insertiondate]) values (@c1, @c2)"
                "\tset identity_insert  orders OFF\n\nend\nend\ngo\n"},
        // A reserved keyword as a table name stays bracketed in the switch lines, however the
        // insert quotes it.
        ScriptCase{
            "ReservedWordBracketed",
            InsertProcedure("[sp_MSins_dboKey]", "insert into [dbo].[Key]([KeyID]) values (@c1)"),
            {"customers"},
            ExpectedFraming("sp_msins_dbokey") +
                InsertWritten("[sp_msins_dbokey]", "insert into [dbo].[key]([keyid]) values (@c1)",
                              "[key]")},
        ScriptCase{
            "ReservedWordQuoted",
            InsertProcedure("[sp_MSins_dboOrder]", "insert into \"Order\"(\"id\") values (@c1)"),
            {"customers"},
            ExpectedFraming("sp_msins_dboorder") +
                InsertWritten("[sp_msins_dboorder]", "insert into \"order\"(\"id\") values (@c1)",
                              "[order]")},
        ScriptCase{
            "ReservedWordOfAnotherOwnerAsWritten",
            InsertProcedure("[sp_MSins_salesUser]",
                            "insert into [Sales].[User]([id]) values (@c1)"),
            {"customers"},
            ExpectedFraming("sp_msins_salesuser") +
                InsertWritten("[sp_msins_salesuser]",
                              "insert into [sales].[user]([id]) values (@c1)", "[sales].[user]")}),
    CaseLabel);

TEST(InsertRewrite, GoAtTheVeryEndEndsTheRunWithSuccess) {
  ScratchDir dir;
  WriteFile(
      dir / "in.sql",
      "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\nGO");
  SkippedProcedures skipped;
  EXPECT_TRUE(
      TransformScript((dir / "in.sql").string(), {"orders"}, (dir / "out.sql").string(), skipped)
          .ok());
  EXPECT_EQ(ReadFile(dir / "out.sql"), kOrdersFrame +
                                           "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                                           "insert into orders values (1)end\ngo\n");
}

// A target table of 127 bytes is written whole in both switch lines, which are then 154 and 155
// bytes long.
TEST(InsertRewrite, LongestTableNameIsWrittenWhole) {
  const std::string table(127, 't');
  const std::string procName = "sp_msins_" + std::string(118, 't');  // the name is cut at 127 bytes
  const std::string output =
      Transform("create procedure [sp_MSins_" + table + "]\nas\nbegin\ninsert into [dbo].[" +
                    table + "] values (1)\nend\ngo\n",
                {"customers"});
  const std::string_view text = output;
  const std::size_t on = text.find("\tset identity_insert  ");
  const std::size_t onEnd = text.find("\n\n", on);
  const std::size_t off = text.find("\tset identity_insert  ", onEnd);
  const std::size_t offEnd = text.find("\n\n", off);
  ASSERT_NE(offEnd, std::string_view::npos) << output;
  const std::string_view onLine = text.substr(on, onEnd + 2 - on);
  const std::string_view offLine = text.substr(off, offEnd + 2 - off);
  EXPECT_EQ(onLine, "\tset identity_insert  " + table + " ON\n\n");
  EXPECT_EQ(offLine, "\tset identity_insert  " + table + " OFF\n\n");
  EXPECT_EQ(onLine.size(), 154u);
  EXPECT_EQ(offLine.size(), 155u);
  EXPECT_EQ(output, ExpectedFraming(procName) + "create procedure [sp_msins_" + table +
                        "]\nas\nbegin\n" + std::string(onLine) + "insert into [dbo].[" + table +
                        "] values (1)" + std::string(offLine) + "end\ngo\n");
}

// Once a write fails, nothing more reaches the stream and the scan ends quietly, wherever in
// the script the failure falls: in a plain procedure, in a concurrent-snapshot one, or in one
// copied unchanged for want of a readable target.
TEST(InsertRewrite, FailedStreamStopsTheScan) {
  std::string script =
      "create procedure [sp_MSins_dboOrders]\nas\nbegin\ninsert into orders values (1)\nend\nGO\n" +
      kCcsHead + kCcsStatement + kCcsTail +
      InsertProcedure("[sp_MSins_dboOrders]", "insert into [dbo].[]([OrderId]) values (@c1)") +
      "create procedure [sp_MSins_dboItems]\nas\nbegin\ninsert into items values (1)\nend\nGO";
  const std::string full = Transform(script, {"customers"});
  ASSERT_EQ(full, kOrdersFrame +
                      "create procedure [sp_msins_dboorders]\nas\nbegin\n"
                      "\tset identity_insert  orders ON\n\ninsert into orders values (1)"
                      "\tset identity_insert  orders OFF\n\nend\ngo\n" +
                      kCcsHeadWritten + kCcsOn + kCcsStatementWritten + kCcsOff + kCcsTailWritten +
                      "\r\n" + kOrdersFrame +
                      InsertProcedure("[sp_msins_dboorders]",
                                      "insert into [dbo].[]([orderid]) values (@c1)", "go") +
                      kNextProcedureWritten);
  ExpectEveryFailedWriteStopsTheScan(script, {"customers"}, full);
}

// Each of a run of procedures is handled alike: the kept answers of the searches for the
// switch and for "begin" must not leak from one procedure into the next. (How the time grows
// with the number of procedures is measured by the benchmark.)
TEST(InsertRewrite, RepeatedProceduresEachComeOutAlike) {
  const struct {
    std::string procedure;
    std::string written;
  } cases[] = {
      {"create procedure [sp_MSins_dboOrders]\r\nas\r\nbegin\r\n\tinsert into orders values "
       "(@c1)\r\nend\r\nGO\r\n",
       kOrdersFrame + "create procedure [sp_msins_dboorders]\r\nas\r\nbegin\r\n\t"
                      "\tset identity_insert  orders ON\n\ninsert into orders values (@c1)\r"
                      "\tset identity_insert  orders OFF\n\nend\ngo\n\n"},
      {"create procedure [sp_MSins_dboOrders]\r\nas\r\nset identity_insert orders on\r\ninsert "
       "into orders values (@c1)\r\nGO\r\n",
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

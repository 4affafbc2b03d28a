// The delete rewrite: the row-not-found test of each SQL Server form in a block comment, and
// the procedures that are copied unchanged.
#include "rewrite/delete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <streambuf>

#include "tests/support.h"

namespace {

// Removes every carriage return: the LF form of a CR LF script.
std::string WithoutCr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// The fixture delete-<layout>-<crlf or lf><suffix>. An LF fixture that is its CR LF twin without
// carriage returns is derived from that twin; only those that differ are kept as files: the
// outputs of a layout holding an empty line, which the CR LF form collapses (CR LF CR LF
// becomes LF) and the LF form keeps.
std::string DeleteFixture(const std::string& layout, bool lineFeeds, const std::string& suffix) {
  const std::string own = "delete-" + layout + (lineFeeds ? "-lf" : "-crlf") + suffix;
  if (!lineFeeds || std::filesystem::exists(std::filesystem::path(QTV_TEST_DATA) / own)) {
    return ReadFixture(own);
  }
  return WithoutCr(ReadFixture("delete-" + layout + "-crlf" + suffix));
}

// A delete procedure as one SQL Server version scripts it, with CR LF or LF line ends: 2000
// (no begin ... end), 2005 (the same inside begin ... end), "2014" (a Begin ... End block that
// passes the primary key, as 2012 writes it) and "2014-exists" (that block under a test of
// sp_MSreplraiserror's parameters, as 2014 and later write it).
struct DeleteLayout {
  std::string layout;
  bool lineFeeds;
};

void PrintTo(const DeleteLayout& c, std::ostream* os) {
  *os << c.layout << (c.lineFeeds ? " lf" : " crlf");
}

std::string LayoutLabel(const testing::TestParamInfo<DeleteLayout>& info) {
  std::string label = "delete_" + info.param.layout + (info.param.lineFeeds ? "_lf" : "_crlf");
  std::replace(label.begin(), label.end(), '-', '_');
  return label;
}

const auto kLayouts = testing::Values(
    DeleteLayout{"2000", true}, DeleteLayout{"2000", false}, DeleteLayout{"2005", false},
    DeleteLayout{"2005", true}, DeleteLayout{"2014", false}, DeleteLayout{"2014", true},
    DeleteLayout{"2014-exists", false}, DeleteLayout{"2014-exists", true});

// <layout>.sql becomes <layout>.expected.sql, byte for byte.
class DeleteForm : public testing::TestWithParam<DeleteLayout> {};

TEST_P(DeleteForm, CommentsOutTheRowNotFoundTest) {
  const DeleteLayout& c = GetParam();
  EXPECT_EQ(Transform(DeleteFixture(c.layout, c.lineFeeds, ".sql")),
            DeleteFixture(c.layout, c.lineFeeds, ".expected.sql"));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DeleteForm, kLayouts, LayoutLabel);

struct DeleteCase {
  const char* label;
  std::string script;
  std::string expected;
};

void PrintTo(const DeleteCase& c, std::ostream* out) { *out << c.label; }

class DeleteShape : public testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteShape, WritesExactBytes) {
  EXPECT_EQ(Transform(GetParam().script), GetParam().expected);
}

// The end of a delete procedure's script as SQL Server 2014 and later write it, from the
// row-count test on; kBlockFormRewritten is its output. The IF statement ends with the End of
// its Begin block.
const std::string kBlockForm =
    "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tBegin\r\n"
    "\t\t\tif exists (Select * from sys.all_parameters where [name] = '@param3')\r\n"
    "\t\t\t\texec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[T]', @param3=13234\r\n"
    "\t\t\tElse\r\n\t\t\t\texec sp_MSreplraiserror @errorid=20598\r\n\t\tEnd";
const std::string kBlockFormRewritten =
    "/*-D- if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tbegin\r\n"
    "\t\t\tif exists (select * from sys.all_parameters where [name] = '@param3')\r\n"
    "\t\t\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[t]', @param3=13234\r\n"
    "\t\t\telse\r\n\t\t\t\texec sp_msreplraiserror @errorid=20598\r\n\t\tend -D-*/\n \n ";

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteShape,
    testing::Values(
        // Only the second procedure has the test: the first is copied through its "go" with no
        // framing, and the scan goes on.
        DeleteCase{
            "NoTestThenATest",
            "create procedure [dbo].[sp_MSdel_dboAudit]\n\t\t@pkc1 int\nas\nbegin\n"
            "\tdelete [dbo].[Audit]\nwhere [AuditId] = @pkc1\nend\nGO\n"
            "create procedure [sp_MSdel_dboCustomers]\n\t\t@pkc1 int\nas\nbegin\n"
            "\tdelete [dbo].[Customers]\nwhere [CustomerId] = @pkc1\nif @@rowcount = 0\n"
            "    if @@microsoftversion>0x07320000\n        exec sp_MSreplraiserror "
            "20598\nend\nGO\n",
            "create procedure [dbo].[sp_msdel_dboaudit]\n\t\t@pkc1 int\nas\nbegin\n"
            "\tdelete [dbo].[audit]\nwhere [auditid] = @pkc1\nend\ngo\n" +
                ExpectedFraming("sp_msdel_dbocustomers") +
                "create procedure [sp_msdel_dbocustomers]\n\t\t@pkc1 int\nas\nbegin\n"
                "\tdelete [dbo].[customers]\nwhere [customerid] = @pkc1\n/*-D- if @@rowcount = 0\n"
                "    if @@microsoftversion>0x07320000\n"
                "        exec sp_msreplraiserror 20598 -D-*/\n \n \nend\ngo\n"},
        // "go" inside a word is text: only a line holding "go" alone ends a procedure.
        DeleteCase{
            "GoInsideAWordBeforeTheTest",
            "create procedure [sp_MSdel_dboCategory]\r\n\t\t@pkc1 int\r\nas\r\nbegin\r\n"
            "\tdelete [dbo].[Category]\r\nwhere [CategoryId] = @pkc1\r\nif @@rowcount = 0\r\n"
            "        exec sp_MSreplraiserror 20598\r\nend\r\nGO\r\n"
            "create procedure [sp_MSdel_dboRegions]\r\nas\r\nbegin\r\n\tdelete [dbo].[Regions]\r\n"
            "if @@rowcount = 0\r\n        exec sp_MSreplraiserror 20598\r\nend\r\nGO\r\n",
            ExpectedFraming("sp_msdel_dbocategory") +
                "create procedure [sp_msdel_dbocategory]\r\n\t\t@pkc1 int\r\nas\r\nbegin\r\n"
                "\tdelete [dbo].[category]\r\nwhere [categoryid] = @pkc1\r\n"
                "/*-D- if @@rowcount = 0\r\n        exec sp_msreplraiserror 20598 -D-*/\n \n \r\n"
                "end\r\ngo\r\n" +
                ExpectedFraming("sp_msdel_dboregions") +
                "create procedure [sp_msdel_dboregions]\r\nas\r\nbegin\r\n\tdelete "
                "[dbo].[regions]\r\n"
                "/*-D- if @@rowcount = 0\r\n        exec sp_msreplraiserror 20598 -D-*/\n \n \r\n"
                "end\r\ngo\r\n"},
        DeleteCase{
            "GoInsideAWordThenTextAfterTheGoLine",
            "create procedure [sp_MSdel_dboCategory]\r\nas\r\ndelete [dbo].[Category]\r\n"
            "if @@rowcount = 0\r\n        exec sp_MSreplraiserror 20598\r\nGO\r\n-- done\r\n",
            ExpectedFraming("sp_msdel_dbocategory") +
                "create procedure [sp_msdel_dbocategory]\r\nas\r\ndelete [dbo].[category]\r\n"
                "/*-D- if @@rowcount = 0\r\n        exec sp_msreplraiserror 20598 -D-*/\n \n \r\n"
                "go\r\n-- done\r\n"},
        // A name and a column holding "go", in the layout of SQL Server 2014 and later.
        DeleteCase{
            "GoInsideTheNameBlockForm",
            "create procedure [dbo].[sp_MSdel_dbolkpScorecardCategory]\r\n\t\t@pkc1 "
            "int\r\nas\r\nbegin\r\n"
            "\tdelete [dbo].[lkpScorecardCategory]\r\n\twhere [ScorecardCategoryID] = @pkc1\r\n" +
                kBlockForm + "\r\nend\r\nGO\r\n",
            ExpectedFraming("sp_msdel_dbolkpscorecardcategory") +
                "create procedure [dbo].[sp_msdel_dbolkpscorecardcategory]\r\n\t\t@pkc1 "
                "int\r\nas\r\n"
                "begin\r\n\tdelete [dbo].[lkpscorecardcategory]\r\n\twhere [scorecardcategoryid] = "
                "@pkc1\r\n" +
                kBlockFormRewritten + "\r\nend\r\ngo\r\n"},
        // As a database project keeps it: no GO line at all, no line end after "end". The end
        // of the script ends the procedure.
        DeleteCase{
            "NoGoLineAtTheEnd",
            "\xEF\xBB\xBF"
            "create procedure [sp_MSdel_dboMessage]\n\t\t@pkc1 int\nas\nbegin  \n"
            "\tdelete [dbo].[Message]\nwhere [MessageId] = @pkc1\nif @@rowcount = 0\n"
            "    if @@microsoftversion>0x07320000\n        exec sp_MSreplraiserror 20598\nend",
            "\xEF\xBB\xBF" + ExpectedFraming("sp_msdel_dbomessage") +
                "create procedure [sp_msdel_dbomessage]\n\t\t@pkc1 int\nas\nbegin  \n"
                "\tdelete [dbo].[message]\nwhere [messageid] = @pkc1\n/*-D- if @@rowcount = 0\n"
                "    if @@microsoftversion>0x07320000\n        exec sp_msreplraiserror 20598 "
                "-D-*/\n \n \n"
                "end"},
        DeleteCase{"NoGoLineAfterTheNumber",
                   "create procedure [sp_MSdel_dboA]\nas\nif @@rowcount = 0\n\t-- the row is gone\n"
                   "\t\texec sp_MSreplraiserror 20598\n",
                   ExpectedFraming("sp_msdel_dboa") +
                       "create procedure [sp_msdel_dboa]\nas\n/*-D- if @@rowcount = 0\n\t-- the "
                       "row is gone\n"
                       "\t\texec sp_msreplraiserror 20598 -D-*/\n \n \n"},
        // Each procedure follows its own object comment: only the last one gets a header.
        DeleteCase{
            "HeaderOnlyWhenNoObjectCommentFollows",
            "/****** Object:  StoredProcedure [dbo].[sp_MSdel_A] ******/\n"
            "create procedure [dbo].[sp_MSdel_A] @pkc1 int\nas\ndelete \"A\"\nwhere \"Id\" = "
            "@pkc1\n"
            "if @@rowcount = 0\n\t\texec sp_MSreplraiserror 20598\nGO\n"
            "/****** Object:  StoredProcedure [dbo].[sp_MSdel_B] ******/\n"
            "create procedure [dbo].[sp_MSdel_B] @pkc1 int\nas\ndelete \"B\"\nwhere \"Id\" = "
            "@pkc1\n"
            "if @@rowcount = 0\n\t\texec sp_MSreplraiserror 20598\nGO\n",
            "/****** object:  storedprocedure [dbo].[sp_msdel_a] ******/\n" +
                ExpectedPreamble("sp_msdel_a") +
                "create procedure [dbo].[sp_msdel_a] @pkc1 int\nas\ndelete \"a\"\nwhere \"id\" = "
                "@pkc1\n"
                "/*-D- if @@rowcount = 0\n\t\texec sp_msreplraiserror 20598 -D-*/\n \n \ngo\n"
                "/****** object:  storedprocedure [dbo].[sp_msdel_b] ******/\n" +
                ExpectedFraming("sp_msdel_b") +
                "create procedure [dbo].[sp_msdel_b] @pkc1 int\nas\ndelete \"b\"\nwhere \"id\" = "
                "@pkc1\n"
                "/*-D- if @@rowcount = 0\n\t\texec sp_msreplraiserror 20598 -D-*/\n \n \ngo\n"},
        // A test that raises no 20598 (peer-to-peer) leaves the procedure as it is.
        DeleteCase{"TestWithoutErrorNumber",
                   "create procedure [sp_MSdel_dboA]\r\nas\r\nbegin\r\n\tdelete [dbo].[A]\r\n"
                   "if @@rowcount = 0\r\n\treturn\r\nend\r\nGO\r\n-- done\r\n",
                   "create procedure [sp_msdel_dboa]\r\nas\r\nbegin\r\n\tdelete [dbo].[a]\r\n"
                   "if @@rowcount = 0\r\n\treturn\r\nend\r\ngo\r\n-- done\r\n"},
        // The first "20598" after that test belongs to the next procedure, past the "go" line:
        // the comment must not swallow the "go" and the next create.
        DeleteCase{
            "TestWithoutErrorNumberBeforeAProcedureWithOne",
            "create procedure [sp_MSdel_dboA]\nas\nbegin\n\tdelete [dbo].[A]\nif @@rowcount = 0\n"
            "\treturn\nend\nGO\n"
            "create procedure [dbo].[sp_MSdel_B] @pkc1 int\nas\ndelete \"B\"\nif @@rowcount = 0\n"
            "\t\texec sp_MSreplraiserror 20598\nGO\n",
            "create procedure [sp_msdel_dboa]\nas\nbegin\n\tdelete [dbo].[a]\nif @@rowcount = 0\n"
            "\treturn\nend\ngo\n" +
                ExpectedFraming("sp_msdel_b") +
                "create procedure [dbo].[sp_msdel_b] @pkc1 int\nas\ndelete \"b\"\n"
                "/*-D- if @@rowcount = 0\n\t\texec sp_msreplraiserror 20598 -D-*/\n \n \ngo\n"},
        // A "begin" between test and number is enough for the comment to take the block.
        DeleteCase{
            "BeginBeforeANumberThatEndsItsLine",
            "create procedure [sp_MSdel_dboA]\nas\nbegin\n\tdelete [dbo].[A]\nif @@rowcount = 0\n"
            "\tBegin\n\t\texec sp_MSreplraiserror 20598\n\tEnd\nend\nGO\n",
            ExpectedFraming("sp_msdel_dboa") +
                "create procedure [sp_msdel_dboa]\nas\nbegin\n\tdelete [dbo].[a]\n/*-D- if "
                "@@rowcount = 0\n"
                "\tbegin\n\t\texec sp_msreplraiserror 20598\n\tend -D-*/\n \n \nend\ngo\n"},
        // The final "end" line starts with the word "end": "end_marker" is not one.
        DeleteCase{
            "FinalEndLineNeedsTheWholeWord",
            "create procedure [sp_MSdel_dboA]\nas\nbegin\n\tdelete [dbo].[A]\nif @@rowcount = 0\n"
            "\tBegin\n\t\texec sp_MSreplraiserror @errorid=20598, "
            "@param1=N'[dbo].[A]'\n\tEnd\nend\n"
            "end_marker\nGO\n",
            ExpectedFraming("sp_msdel_dboa") +
                "create procedure [sp_msdel_dboa]\nas\nbegin\n\tdelete [dbo].[a]\n/*-D- if "
                "@@rowcount = 0\n"
                "\tbegin\n\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[a]'\n"
                "\tend -D-*/\n \n \nend\nend_marker\ngo\n"},
        // "go -- done" is no GO line, so the procedure runs to the end of the script.
        DeleteCase{
            "GoWithACommentIsNoGoLine",
            "create procedure [sp_MSdel_dboA]\r\nas\r\nbegin\r\n\tdelete [dbo].[A]\r\nif "
            "@@rowcount = 0\r\n"
            "\t\tBegin\r\n\t\t\texec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[A]'\r\n"
            "\t\tEnd\r\nend  \r\nGO -- done\r\n",
            ExpectedFraming("sp_msdel_dboa") +
                "create procedure [sp_msdel_dboa]\r\nas\r\nbegin\r\n\tdelete [dbo].[a]\r\n"
                "/*-D- if @@rowcount = 0\r\n"
                "\t\tbegin\r\n\t\t\texec sp_msreplraiserror @errorid=20598, "
                "@param1=n'[dbo].[a]'\r\n"
                "\t\tend -D-*/\n \n \r\nend  \r\ngo -- done\r\n"},
        // Lines squeezed by an export: the statement ends with the number, not with the "end"
        // of the procedure that follows it on the same line.
        DeleteCase{
            "SqueezedEndAfterTheNumber",
            "create procedure [dbo].[sp_MSdel_dboOrders]     @pkc1 int\r\nas\r\n"
            "begin   \tdelete [dbo].[Orders]\r\nwhere [OrderID] = @pkc1 if @@rowcount = 0\r\n"
            "    if @@microsoftversion>0x07320000\r\n        exec sp_MSreplraiserror 20598 end    "
            "--\r\n"
            "GO\r\n",
            ExpectedFraming("sp_msdel_dboorders") +
                "create procedure [dbo].[sp_msdel_dboorders]     @pkc1 int\r\nas\r\n"
                "begin   \tdelete [dbo].[orders]\r\nwhere [orderid] = @pkc1 /*-D- if @@rowcount = "
                "0\r\n"
                "    if @@microsoftversion>0x07320000\r\n        exec sp_msreplraiserror 20598 "
                "-D-*/\n \n "
                " end    --\r\ngo\r\n"},
        // The same for the block form: "End end" closes right after the first End.
        DeleteCase{"SqueezedEndEndLine",
                   "create procedure [sp_MSdel_dboT]     @pkc1 int\r\nas\r\n"
                   "begin   \tdelete [dbo].[T]\r\n\twhere [Id] = @pkc1 " +
                       kBlockForm + " end    --\r\nGO\r\n",
                   ExpectedFraming("sp_msdel_dbot") +
                       "create procedure [sp_msdel_dbot]     @pkc1 int\r\nas\r\n"
                       "begin   \tdelete [dbo].[t]\r\n\twhere [id] = @pkc1 " +
                       kBlockFormRewritten + " end    --\r\ngo\r\n"},
        // A block comment inside the statement nests in the new one.
        DeleteCase{
            "BlockCommentInsideTheStatement",
            "create procedure [sp_MSdel_dboA]\r\nas\r\ndelete [dbo].[A]\r\n"
            "if @@rowcount = 0 /* the row is gone */\r\n\texec sp_MSreplraiserror 20598\r\nGO\r\n",
            ExpectedFraming("sp_msdel_dboa") +
                "create procedure [sp_msdel_dboa]\r\nas\r\ndelete [dbo].[a]\r\n"
                "/*-D- if @@rowcount = 0 /* the row is gone */\r\n\texec sp_msreplraiserror 20598 "
                "-D-*/\n \n "
                "\r\ngo\r\n"},
        // Landmarks in comments are none: the comment opens at the real test, and a test whose
        // only 20598 stands in a comment is no test to comment out.
        DeleteCase{"TestInACommentBeforeTheRealOne",
                   "create procedure [sp_MSdel_dboA]\nas\ndelete [dbo].[A]\n"
                   "-- if @@rowcount = 0 was here\nif @@rowcount = 0\n\texec sp_MSreplraiserror "
                   "20598\nGO\n",
                   ExpectedFraming("sp_msdel_dboa") +
                       "create procedure [sp_msdel_dboa]\nas\ndelete [dbo].[a]\n"
                       "-- if @@rowcount = 0 was here\n/*-D- if @@rowcount = 0\n\texec "
                       "sp_msreplraiserror 20598 -D-*/\n \n \ngo\n"},
        DeleteCase{"ErrorNumberOnlyInAComment",
                   "create procedure [sp_MSdel_dboA]\nas\ndelete [dbo].[A]\n"
                   "if @@rowcount = 0 -- would raise 20598\n\treturn\nGO\n",
                   "create procedure [sp_msdel_dboa]\nas\ndelete [dbo].[a]\n"
                   "if @@rowcount = 0 -- would raise 20598\n\treturn\ngo\n"},
        // A comment mark in a string or a "--" comment of the statement would open a comment
        // that never closes, or close the new one early: the procedure is copied as it is.
        DeleteCase{"CommentOpenerInAString",
                   "create procedure [sp_MSdel_dboA]\r\nas\r\ndelete [dbo].[A]\r\nif @@rowcount = "
                   "0\r\nbegin\r\n"
                   "\tprint 'no row: /* nothing deleted'\r\n\texec sp_MSreplraiserror "
                   "20598\r\nend\r\nGO\r\n",
                   "create procedure [sp_msdel_dboa]\r\nas\r\ndelete [dbo].[a]\r\nif @@rowcount = "
                   "0\r\nbegin\r\n"
                   "\tprint 'no row: /* nothing deleted'\r\n\texec sp_msreplraiserror "
                   "20598\r\nend\r\ngo\r\n"},
        DeleteCase{
            "CommentCloserInALineComment",
            "create procedure [sp_MSdel_dboA]\r\nas\r\ndelete [dbo].[A]\r\n"
            "if @@rowcount = 0 -- no row */ deleted\r\n\texec sp_MSreplraiserror 20598\r\nGO\r\n",
            "create procedure [sp_msdel_dboa]\r\nas\r\ndelete [dbo].[a]\r\n"
            "if @@rowcount = 0 -- no row */ deleted\r\n\texec sp_msreplraiserror 20598\r\ngo\r\n"}),
    [](const testing::TestParamInfo<DeleteCase>& info) { return std::string(info.param.label); });

// A rewritten script read again: its row-count test now stands only inside the comment, so
// the procedure is copied as it stands (lower-cased), with no second comment inside the first.
class DeleteFormAgain : public testing::TestWithParam<DeleteLayout> {};

TEST_P(DeleteFormAgain, FedThroughAgainComesOutAsItWentIn) {
  const DeleteLayout& c = GetParam();
  const std::string rewritten = DeleteFixture(c.layout, c.lineFeeds, ".expected.sql");
  EXPECT_EQ(Transform(rewritten), LowerCased(rewritten));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DeleteFormAgain, kLayouts, LayoutLabel);

std::size_t Count(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

// The script of the end-to-end run: every form, a peer-to-peer test, a procedure without test.
TEST(RewriteDeleteProcedure, MixedScriptKeepsEveryCommentClosed) {
  const std::string output =
      Transform(ReadFixture("delete-mixed-crlf.sql"), {"customers", "notatable", "regions"});
  EXPECT_EQ(output, ReadFixture("delete-mixed-crlf.expected.sql"));

  constexpr std::string_view kKeyword = "create procedure ";
  const std::string_view text = output;
  int deleteProcedures = 0;
  for (std::size_t at = text.find(kKeyword); at != std::string_view::npos;) {
    const std::size_t next = text.find(kKeyword, at + kKeyword.size());
    const std::string_view procedure = text.substr(at, next - at);
    if (procedure.find("sp_msdel_") != std::string_view::npos) {
      ++deleteProcedures;
      EXPECT_EQ(Count(procedure, "/*"), Count(procedure, "*/")) << procedure;
    }
    at = next;
  }
  EXPECT_EQ(deleteProcedures, 7);
}

// A refused write stops the scan wherever it happens; the last piece's own failure only shows
// on the scan's next write.
TEST(RewriteDeleteProcedure, RefusedWriteStops) {
  const std::string rewritten =
      "create procedure [sp_msdel_dboa]\nas\nif @@rowcount = 0\n\t\texec sp_msreplraiserror "
      "20598\nend\ngo\n";
  const std::string unchanged = "create procedure [sp_msdel_dboa]\nas\ndelete [dbo].[a]\ngo\n";
  const std::string output = ExpectedFraming("sp_msdel_dboa") +
                             "create procedure [sp_msdel_dboa]\nas\n/*-D- if @@rowcount = 0\n"
                             "\t\texec sp_msreplraiserror 20598 -D-*/\n \n \nend\ngo";
  const std::size_t lastPieceStart = output.size() - std::string("\nend\ngo").size();
  struct Limit {
    const std::string* script;
    std::size_t bytes;
    ProcedureEnding ending;
  };
  for (const Limit& limit : {
           Limit{&rewritten, 0, ProcedureEnding::kStop},
           Limit{&rewritten, 10, ProcedureEnding::kStop},  // in the header
           Limit{&rewritten, ExpectedFraming("sp_msdel_dboa").size() + 5, ProcedureEnding::kStop},
           Limit{&rewritten, lastPieceStart - 1, ProcedureEnding::kStop},  // in the closing text
           Limit{&rewritten, lastPieceStart + 1, ProcedureEnding::kNextProcedure},
           Limit{&rewritten, output.size(), ProcedureEnding::kNextProcedure},
           Limit{&unchanged, 0, ProcedureEnding::kNextProcedure},
       }) {
    SCOPED_TRACE(limit.bytes);
    LimitedBuffer buffer(limit.bytes);
    std::ostream out(&buffer);
    const ProcedureFrame frame = FrameForRewrite(*limit.script);
    ScriptCursor cursor{*limit.script, out};
    EXPECT_EQ(RewriteDeleteProcedure(cursor, frame), limit.ending);
    const std::string& full =
        limit.script == &rewritten ? output : unchanged.substr(0, unchanged.size() - 1);
    EXPECT_EQ(buffer.bytes(), full.substr(0, limit.bytes));
    if (limit.ending == ProcedureEnding::kNextProcedure) {
      EXPECT_EQ(cursor.rest, "\n");
    }
  }

  // A stream that has already failed takes nothing, not even from an unchanged procedure.
  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  const ProcedureFrame frame = FrameForRewrite(unchanged);
  ScriptCursor cursor{unchanged, failed};
  EXPECT_EQ(RewriteDeleteProcedure(cursor, frame), ProcedureEnding::kStop);
  EXPECT_EQ(failed.str(), "");
}

// Wherever the output fails, it holds the start of the full output and the scan ends quietly:
// in a procedure copied unchanged, in a rewritten one, and in one that the end of the script
// ends.
TEST(RewriteDeleteProcedure, RefusedWriteAtEveryByteLeavesTheStartOfTheOutput) {
  std::string script =
      "create procedure [sp_MSdel_dboA]\r\nas\r\ndelete [dbo].[A]\r\nGO\r\n"
      "create procedure [sp_MSdel_dboB]\r\nas\r\ndelete [dbo].[B]\r\nif @@rowcount = 0\r\n"
      "\texec sp_MSreplraiserror 20598\r\nGO\r\n"
      "create procedure [sp_MSdel_dboC]\nas\ndelete [dbo].[C]\nif @@rowcount = 0\n\texec "
      "sp_MSreplraiserror 20598\nend";
  const std::string full = Transform(script, {"placeholder"});
  ASSERT_EQ(full,
            "create procedure [sp_msdel_dboa]\r\nas\r\ndelete [dbo].[a]\r\ngo\r\n" +
                ExpectedFraming("sp_msdel_dbob") +
                "create procedure [sp_msdel_dbob]\r\nas\r\ndelete [dbo].[b]\r\n/*-D- if @@rowcount "
                "= 0\r\n"
                "\texec sp_msreplraiserror 20598 -D-*/\n \n \r\ngo\r\n" +
                ExpectedFraming("sp_msdel_dboc") +
                "create procedure [sp_msdel_dboc]\nas\ndelete [dbo].[c]\n/*-D- if @@rowcount = 0\n"
                "\texec sp_msreplraiserror 20598 -D-*/\n \n \nend");
  ExpectEveryFailedWriteStopsTheScan(script, {"placeholder"}, full);
}

}  // namespace

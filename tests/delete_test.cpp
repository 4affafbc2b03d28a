// The delete rewrite: the row-not-found test of each SQL Server form in a block comment, and
// the procedures that are copied unchanged.
#include "rewrite/delete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>

#include "tests/support.h"

namespace {

// One delete procedure as each SQL Server version scripts it, with CR LF and with LF line ends:
// <name>.sql becomes <name>.expected.sql.
class DeleteForm : public testing::TestWithParam<const char*> {};

TEST_P(DeleteForm, CommentsOutTheRowNotFoundTest) {
  const std::string name = GetParam();
  EXPECT_EQ(Transform(ReadFixture(name + ".sql")), ReadFixture(name + ".expected.sql"));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DeleteForm,
    testing::Values("delete-2000-lf", "delete-2000-crlf", "delete-2005-crlf", "delete-2005-lf",
                    "delete-2014-crlf", "delete-2014-lf", "delete-2014-exists-crlf",
                    "delete-2014-exists-lf"),
    [](const testing::TestParamInfo<const char*>& info) {
      std::string label = info.param;
      std::replace(label.begin(), label.end(), '-', '_');
      return label;
    });

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

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteShape,
    testing::Values(
        // Only the second procedure has the test: the first is copied through its "go" with no
        // framing, and the scan goes on.
        DeleteCase{"NoTestThenATest",
                   "create procedure [dbo].[sp_MSdel_dboAudit]\n\t\t@pkc1 int\nas\nbegin\n"
                   "\tdelete [dbo].[Audit]\nwhere [AuditId] = @pkc1\nend\nGO\n"
                   "create procedure [sp_MSdel_dboCustomers]\n\t\t@pkc1 int\nas\nbegin\n"
                   "\tdelete [dbo].[Customers]\nwhere [CustomerId] = @pkc1\nif @@rowcount = 0\n"
                   "    if @@microsoftversion>0x07320000\n        exec sp_MSreplraiserror 20598\nend\nGO\n",
                   "create procedure [dbo].[sp_msdel_dboaudit]\n\t\t@pkc1 int\nas\nbegin\n"
                   "\tdelete [dbo].[audit]\nwhere [auditid] = @pkc1\nend\ngo\n" +
                       ExpectedFraming("sp_msdel_dbocustomers") +
                       "create procedure [sp_msdel_dbocustomers]\n\t\t@pkc1 int\nas\nbegin\n"
                       "\tdelete [dbo].[customers]\nwhere [customerid] = @pkc1\n/*-D- if @@rowcount = 0\n"
                       "    if @@microsoftversion>0x07320000\n"
                       "        exec sp_msreplraiserror 20598 -D-*/\n \n \nend\ngo\n"},
        // "catego" ends the first piece; the rest of the procedure follows as plain text.
        DeleteCase{"GoInsideAWordBeforeTheTest",
                   "create procedure [sp_MSdel_dboCategory]\r\n\t\t@pkc1 int\r\nas\r\nbegin\r\n"
                   "\tdelete [dbo].[Category]\r\nwhere [CategoryId] = @pkc1\r\nif @@rowcount = 0\r\n"
                   "        exec sp_MSreplraiserror 20598\r\nend\r\nGO\r\n"
                   "create procedure [sp_MSdel_dboRegions]\r\nas\r\nbegin\r\n\tdelete [dbo].[Regions]\r\n"
                   "if @@rowcount = 0\r\n        exec sp_MSreplraiserror 20598\r\nend\r\nGO\r\n",
                   "create procedure [sp_msdel_dbocategory]\r\n\t\t@pkc1 int\r\nas\r\nbegin\r\n"
                   "\tdelete [dbo].[category]\r\nwhere [categoryid] = @pkc1\r\nif @@rowcount = 0\r\n"
                   "        exec sp_msreplraiserror 20598\r\nend\r\ngo\r\n" +
                       ExpectedFraming("sp_msdel_dboregions") +
                       "create procedure [sp_msdel_dboregions]\r\nas\r\nbegin\r\n\tdelete [dbo].[regions]\r\n"
                       "/*-D- if @@rowcount = 0\r\n        exec sp_msreplraiserror 20598 -D-*/\n \n \r\n"
                       "end\r\ngo\r\n"},
        DeleteCase{"GoInsideAWordAndNoFurtherProcedure",
                   "create procedure [sp_MSdel_dboCategory]\r\nas\r\ndelete [dbo].[Category]\r\n"
                   "if @@rowcount = 0\r\n        exec sp_MSreplraiserror 20598\r\nGO\r\n-- done\r\n",
                   "create procedure [sp_msdel_dbocategory]\r\nas\r\ndelete [dbo].[category]\r\n"
                   "if @@rowcount = 0\r\n        exec sp_msreplraiserror 20598\r\ngo\r\n-- done\r\n"},
        // As a database project keeps it: no "go" at all, no line end after "end".
        DeleteCase{"NoGoAfterTheTest",
                   "create procedure [sp_MSdel_dboMessage]\n\t\t@pkc1 int\nas\nbegin  \n\tdelete [dbo].[Message]\n"
                   "where [MessageId] = @pkc1\nif @@rowcount = 0\n    if @@microsoftversion>0x07320000\n"
                   "        exec sp_MSreplraiserror 20598\nend",
                   "create procedure [sp_msdel_dbomessage]\n\t\t@pkc1 int\nas\nbegin  \n\tdelete [dbo].[message]\n"
                   "where [messageid] = @pkc1\nif @@rowcount = 0\n    if @@microsoftversion>0x07320000\n"
                   "        exec sp_msreplraiserror 20598\nend"},
        // "go" follows the test only inside a word; after the number the rest is passed on.
        DeleteCase{"NoGoAfterTheNumber",
                   "create procedure [sp_MSdel_dboA]\nas\nif @@rowcount = 0\n\t-- the row is gone\n"
                   "\t\texec sp_MSreplraiserror 20598\n",
                   ExpectedFraming("sp_msdel_dboa") +
                       "create procedure [sp_msdel_dboa]\nas\n/*-D- if @@rowcount = 0\n\t-- the row is gone\n"
                       "\t\texec sp_msreplraiserror 20598 -D-*/\n \n \n"},
        // Each procedure follows its own object comment: only the last one gets a header.
        DeleteCase{"HeaderOnlyWhenNoObjectCommentFollows",
                   "/****** Object:  StoredProcedure [dbo].[sp_MSdel_A] ******/\n"
                   "create procedure [dbo].[sp_MSdel_A] @pkc1 int\nas\ndelete \"A\"\nwhere \"Id\" = @pkc1\n"
                   "if @@rowcount = 0\n\t\texec sp_MSreplraiserror 20598\nGO\n"
                   "/****** Object:  StoredProcedure [dbo].[sp_MSdel_B] ******/\n"
                   "create procedure [dbo].[sp_MSdel_B] @pkc1 int\nas\ndelete \"B\"\nwhere \"Id\" = @pkc1\n"
                   "if @@rowcount = 0\n\t\texec sp_MSreplraiserror 20598\nGO\n",
                   "/****** object:  storedprocedure [dbo].[sp_msdel_a] ******/\n" + ExpectedPreamble("sp_msdel_a") +
                       "create procedure [dbo].[sp_msdel_a] @pkc1 int\nas\ndelete \"a\"\nwhere \"id\" = @pkc1\n"
                       "/*-D- if @@rowcount = 0\n\t\texec sp_msreplraiserror 20598 -D-*/\n \n \ngo\n"
                       "/****** object:  storedprocedure [dbo].[sp_msdel_b] ******/\n" +
                       ExpectedFraming("sp_msdel_b") +
                       "create procedure [dbo].[sp_msdel_b] @pkc1 int\nas\ndelete \"b\"\nwhere \"id\" = @pkc1\n"
                       "/*-D- if @@rowcount = 0\n\t\texec sp_msreplraiserror 20598 -D-*/\n \n \ngo\n"},
        // A test that raises no 20598 (peer-to-peer) leaves the procedure as it is.
        DeleteCase{"TestWithoutErrorNumber",
                   "create procedure [sp_MSdel_dboA]\r\nas\r\nbegin\r\n\tdelete [dbo].[A]\r\n"
                   "if @@rowcount = 0\r\n\treturn\r\nend\r\nGO\r\n-- done\r\n",
                   "create procedure [sp_msdel_dboa]\r\nas\r\nbegin\r\n\tdelete [dbo].[a]\r\n"
                   "if @@rowcount = 0\r\n\treturn\r\nend\r\ngo\r\n-- done\r\n"},
        // The first "20598" after that test belongs to the next procedure, past the "go" line:
        // the comment must not swallow the "go" and the next create.
        DeleteCase{"TestWithoutErrorNumberBeforeAProcedureWithOne",
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
        DeleteCase{"BeginBeforeANumberThatEndsItsLine",
                   "create procedure [sp_MSdel_dboA]\nas\nbegin\n\tdelete [dbo].[A]\nif @@rowcount = 0\n"
                   "\tBegin\n\t\texec sp_MSreplraiserror 20598\n\tEnd\nend\nGO\n",
                   ExpectedFraming("sp_msdel_dboa") +
                       "create procedure [sp_msdel_dboa]\nas\nbegin\n\tdelete [dbo].[a]\n/*-D- if @@rowcount = 0\n"
                       "\tbegin\n\t\texec sp_msreplraiserror 20598\n\tend -D-*/\n \n \nend\ngo\n"},
        // The final "end" line starts with the word "end": "end_marker" is not one.
        DeleteCase{"FinalEndLineNeedsTheWholeWord",
                   "create procedure [sp_MSdel_dboA]\nas\nbegin\n\tdelete [dbo].[A]\nif @@rowcount = 0\n"
                   "\tBegin\n\t\texec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[A]'\n\tEnd\nend\n"
                   "end_marker\nGO\n",
                   ExpectedFraming("sp_msdel_dboa") +
                       "create procedure [sp_msdel_dboa]\nas\nbegin\n\tdelete [dbo].[a]\n/*-D- if @@rowcount = 0\n"
                       "\tbegin\n\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[a]'\n"
                       "\tend -D-*/\n \n \nend\nend_marker\ngo\n"},
        // The block form needs a line holding "go" alone; "go -- done" is not one.
        DeleteCase{"BlockFormWithoutGoLine",
                   "create procedure [sp_MSdel_dboA]\r\nas\r\nbegin\r\n\tdelete [dbo].[A]\r\nif @@rowcount = 0\r\n"
                   "\t\tBegin\r\n\t\t\texec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[A]'\r\n"
                   "\t\tEnd\r\nend  \r\nGO -- done\r\n",
                   "create procedure [sp_msdel_dboa]\r\nas\r\nbegin\r\n\tdelete [dbo].[a]\r\nif @@rowcount = 0\r\n"
                   "\t\tbegin\r\n\t\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[a]'\r\n"
                   "\t\tend\r\nend  \r\ngo -- done\r\n"},
        // Lines squeezed by an export: text after the number, no "end" line before "go".
        DeleteCase{"BlockFormWithoutFinalEndLine",
                   "create procedure [dbo].[sp_MSdel_dboOrders]     @pkc1 int\r\nas\r\n"
                   "begin   \tdelete [dbo].[Orders]\r\nwhere [OrderID] = @pkc1 if @@rowcount = 0\r\n"
                   "    if @@microsoftversion>0x07320000\r\n        exec sp_MSreplraiserror 20598 end    --\r\n"
                   "GO\r\n",
                   "create procedure [dbo].[sp_msdel_dboorders]     @pkc1 int\r\nas\r\n"
                   "begin   \tdelete [dbo].[orders]\r\nwhere [orderid] = @pkc1 if @@rowcount = 0\r\n"
                   "    if @@microsoftversion>0x07320000\r\n        exec sp_msreplraiserror 20598 end    --\r\n"
                   "go\r\n"}),
    [](const testing::TestParamInfo<DeleteCase>& info) { return std::string(info.param.label); });

// A rewritten script read again: the old closing marker after the number counts as the end of
// its line, so the new comment lies inside the old one. In the Begin ... End form the number
// sits inside a longer statement, so the new comment closes before the final "end" line, after
// the old one (block comments nest).
TEST(RewriteDeleteProcedure, OutputFedThroughAgain) {
  EXPECT_EQ(Transform(ReadFixture("delete-2005-crlf.expected.sql")), ReadFixture("delete-2005-crlf.again.sql"));
  EXPECT_EQ(Transform(ReadFixture("delete-2014-crlf.expected.sql")), ReadFixture("delete-2014-crlf.again.sql"));
  EXPECT_EQ(Transform(ReadFixture("delete-2000-lf.expected.sql")), ReadFixture("delete-2000-lf.again.sql"));
}

std::size_t Count(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + needle.size())) {
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
      "create procedure [sp_msdel_dboa]\nas\nif @@rowcount = 0\n\t\texec sp_msreplraiserror 20598\nend\ngo\n";
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
           Limit{&rewritten, 10, ProcedureEnding::kStop},                  // in the header
           Limit{&rewritten, ExpectedFraming("sp_msdel_dboa").size() + 5, ProcedureEnding::kStop},
           Limit{&rewritten, lastPieceStart - 1, ProcedureEnding::kStop},  // in the closing text
           Limit{&rewritten, lastPieceStart + 1, ProcedureEnding::kNextProcedure},
           Limit{&rewritten, output.size(), ProcedureEnding::kNextProcedure},
           Limit{&unchanged, 0, ProcedureEnding::kNextProcedure},
       }) {
    SCOPED_TRACE(limit.bytes);
    LimitedBuffer buffer(limit.bytes);
    std::ostream out(&buffer);
    ProcedureFrame frame;
    ASSERT_TRUE(CutProcedureName(*limit.script, frame));
    frame.objectCommentFollows = false;
    ScriptCursor cursor{*limit.script, out};
    DeleteSearches searches;
    EXPECT_EQ(RewriteDeleteProcedure(cursor, frame, searches), limit.ending);
    const std::string& full = limit.script == &rewritten ? output : unchanged;
    EXPECT_EQ(buffer.bytes(), full.substr(0, limit.bytes));
  }

  // A stream that has already failed takes nothing, not even from an unchanged procedure.
  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  ProcedureFrame frame;
  ASSERT_TRUE(CutProcedureName(unchanged, frame));
  ScriptCursor cursor{unchanged, failed};
  DeleteSearches searches;
  EXPECT_EQ(RewriteDeleteProcedure(cursor, frame, searches), ProcedureEnding::kStop);
  EXPECT_EQ(failed.str(), "");
}

}  // namespace

// The update rewrite: which form a procedure takes, what each form keeps, where a procedure
// ends (its GO line, or the end of the script), and the procedures copied unchanged when their
// markers are missing or out of order.
#include "rewrite/update.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string_view>

#include "tests/support.h"

namespace {

// A plain update procedure put after one that is copied unchanged: it shows up framed only when
// the scan went on to it.
const std::string kNextProcedure =
    "create procedure [sp_MSupd_dboItems]\nas\nupdate items set a = @c1\nGO\n";
const std::string kNextProcedureWritten =
    ExpectedFraming("sp_msupd_dboitems") +
    "create procedure [sp_msupd_dboitems]\nas\nupdate items set a = @c1\ngo\n";

struct UpdateCase {
  std::string label;
  std::string script;
  std::string expected;
};

void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.label; }

class RewriteUpdate : public testing::TestWithParam<UpdateCase> {};

TEST_P(RewriteUpdate, WritesTheProcedureAsItsFormSays) {
  EXPECT_EQ(Transform(GetParam().script), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RewriteUpdate,
    testing::Values(
        // Only "if substring" with one blank selects the cut; the parenthesised test of newer
        // versions is copied whole up to its GO line.
        UpdateCase{"ParenthesisedTestIsPlainForm",
                   "create procedure [sp_MSupd_dboOrders]\n@c1 int = NULL,@pkc1 int = NULL,@bitmap "
                   "binary(1)\nas\nbegin\n"
                   "if (substring(@bitmap,1,1) & 1 = 1)\nbegin\nUPDATE [dbo].[Orders] set "
                   "[OrderID] = @c1\n"
                   "where [OrderID] = @pkc1\nif @@rowcount = 0\nexec sp_MSreplraiserror "
                   "@errorid=20598\nend\nelse\n"
                   "begin\nUPDATE [dbo].[Orders] set [Amount] = @c2 where [OrderID] = "
                   "@pkc1\nend\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dboorders") +
                       "create procedure [sp_msupd_dboorders]\n@c1 int = null,@pkc1 int = "
                       "null,@bitmap binary(1)\nas\nbegin\n"
                       "if (substring(@bitmap,1,1) & 1 = 1)\nbegin\nupdate [dbo].[orders] set "
                       "[orderid] = @c1\n"
                       "where [orderid] = @pkc1\nif @@rowcount = 0\nexec sp_msreplraiserror "
                       "@errorid=20598\nend\nelse\n"
                       "begin\nupdate [dbo].[orders] set [amount] = @c2 where [orderid] = "
                       "@pkc1\nend\nend\ngo\n" +
                       kNextProcedureWritten},
        // A "begin" between "if substring" and the first "update" opens the dropped block;
        // the kept one is the first "begin" after the first "@@rowcount".
        UpdateCase{
            "KeepsTheBeginAfterTheFirstRowcount",
            "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
            "update \"orders\" set \"id\" = @c1, \"total\" = @c2\nwhere \"id\" = @pkc1\nif "
            "@@rowcount = 0\n"
            "exec sp_MSreplraiserror 20598\nend\nelse\nbegin\nupdate \"orders\" set \"total\" = "
            "@c2\n"
            "where \"id\" = @pkc1\nend\nGO\n" +
                kNextProcedure,
            ExpectedFraming("sp_msupd_dboorders") + "create procedure [sp_msupd_dboorders]\nas\n" +
                "begin\nupdate \"orders\" set \"total\" = @c2\nwhere \"id\" = @pkc1\nend\n" +
                "go\n" + kNextProcedureWritten},
        // "go" inside a word is text: only a line holding "go" alone ends a procedure.
        UpdateCase{
            "GoInTheTableNameIsText",
            "create procedure [sp_MSupd_dboCategories]\nas\nif substring(@bitmap,1,1) & 1 = "
            "1\nbegin\n"
            "update \"categories\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
            "update \"categories\" set \"name\" = @c2\nend\nGO\n" +
                kNextProcedure,
            ExpectedFraming("sp_msupd_dbocategories") +
                "create procedure [sp_msupd_dbocategories]\nas\n" +
                "begin\nupdate \"categories\" set \"name\" = @c2\nend\ngo\n" +
                kNextProcedureWritten},
        UpdateCase{
            "GoInAColumnOfTheFirstUpdateIsText",
            "create procedure [sp_MSupd_dboBrands]\n@c1 int,@c2 varchar(10),@pkc1 int\nas\n"
            "if substring(@bitmap,1,1) & 1 = 1\nbegin\nupdate \"brands\" set \"brand_id\" = @c1, "
            "\"logo\" = @c2\n"
            "where \"brand_id\" = @pkc1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
            "update \"brands\" set \"logo\" = @c2, \"cargo\" = @c3\nend\nGO\n" +
                kNextProcedure,
            ExpectedFraming("sp_msupd_dbobrands") +
                "create procedure [sp_msupd_dbobrands]\n@c1 int,@c2 varchar(10),@pkc1 int\nas\n" +
                "begin\nupdate \"brands\" set \"logo\" = @c2, \"cargo\" = @c3\nend\ngo\n" +
                kNextProcedureWritten},
        // Landmarks are whole words in code: "begin" in a column of the first block, "update" in
        // the name or a comment, are none.
        UpdateCase{
            "BeginInAColumnOfTheFirstUpdateIsNoLandmark",
            "create procedure [sp_MSupd_dboTerms]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
            "update terms set id = @c1, BeginBalance = @c2, \"begin\" = @c3\nif @@rowcount = "
            "0\nreturn\nend\nelse\n"
            "begin\nupdate terms set BeginBalance = @c2\nend\nGO\n" +
                kNextProcedure,
            ExpectedFraming("sp_msupd_dboterms") + "create procedure [sp_msupd_dboterms]\nas\n" +
                "begin\nupdate terms set beginbalance = @c2\nend\ngo\n" + kNextProcedureWritten},
        UpdateCase{"UpdateInTheTableNameIsNoLandmark",
                   "create procedure [sp_MSupd_dboStockUpdates]\nas\n-- update what changed\n"
                   "if substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"stockupdates\" set \"id\" = @c1\nif @@rowcount = "
                   "0\nreturn\nend\nelse\nbegin\n"
                   "update \"stockupdates\" set \"qty\" = @c2\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dbostockupdates") +
                       "create procedure [sp_msupd_dbostockupdates]\nas\n-- update what changed\n"
                       "begin\nupdate \"stockupdates\" set \"qty\" = @c2\nend\ngo\n" +
                       kNextProcedureWritten},
        // Procedures whose markers are missing or out of order are framed and copied unchanged
        // through their GO line, and the scan goes on with the next procedure.
        UpdateCase{
            "NoBeginAfterTheRowcountCopiesTheProcedure",
            "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
            "update \"orders\" set \"id\" = @c1\nif @@rowcount = 0\nexec sp_MSreplraiserror "
            "20598\nend\nGO\n" +
                kNextProcedure,
            ExpectedFraming("sp_msupd_dboorders") +
                "create procedure [sp_msupd_dboorders]\nas\nif substring(@bitmap,1,1) & 1 = "
                "1\nbegin\n"
                "update \"orders\" set \"id\" = @c1\nif @@rowcount = 0\nexec sp_msreplraiserror "
                "20598\nend\ngo\n" +
                kNextProcedureWritten},
        UpdateCase{
            "NoRowcountCopiesTheProcedure",
            "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
            "update \"orders\" set \"id\" = @c1\nend\nelse\nbegin\nupdate \"orders\" set \"total\" "
            "= @c2\nend\nGO\n" +
                kNextProcedure,
            ExpectedFraming("sp_msupd_dboorders") +
                "create procedure [sp_msupd_dboorders]\nas\nif substring(@bitmap,1,1) & 1 = "
                "1\nbegin\n"
                "update \"orders\" set \"id\" = @c1\nend\nelse\nbegin\nupdate \"orders\" set "
                "\"total\" = @c2\n"
                "end\ngo\n" +
                kNextProcedureWritten},
        // The block that would be kept starts past the GO line, in the next batch.
        UpdateCase{
            "KeptBeginPastTheGoLineCopiesTheProcedure",
            "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
            "update orders set a = @c1\nif @@rowcount = 0\nreturn\nGO\nbegin\nupdate orders set b "
            "= @c2\nend\n"
            "GO\n" +
                kNextProcedure,
            ExpectedFraming("sp_msupd_dboorders") +
                "create procedure [sp_msupd_dboorders]\nas\nif substring(@bitmap,1,1) & 1 = "
                "1\nbegin\n"
                "update orders set a = @c1\nif @@rowcount = 0\nreturn\ngo\nbegin\nupdate orders "
                "set b = @c2\n"
                "end\ngo\n" +
                kNextProcedureWritten},
        UpdateCase{"NoUpdateCopiesTheProcedure",
                   "create procedure [sp_MSupd_dboOrders]\nas\nselect 1\nGO\n" + kNextProcedure,
                   ExpectedFraming("sp_msupd_dboorders") +
                       "create procedure [sp_msupd_dboorders]\nas\nselect 1\ngo\n" +
                       kNextProcedureWritten},
        UpdateCase{"IfSubstringBetweenUpdateAndGoCopiesTheProcedure",
                   "create procedure [sp_MSupd_dboOrders]\nas\nupdate orders set a = @c1\n"
                   "if substring(@bitmap,1,1) & 1 = 1\nreturn\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dboorders") +
                       "create procedure [sp_msupd_dboorders]\nas\nupdate orders set a = @c1\n"
                       "if substring(@bitmap,1,1) & 1 = 1\nreturn\ngo\n" +
                       kNextProcedureWritten},
        // Without a GO line the end of the script ends the procedure: the kept block, or the
        // plain procedure of a database project (byte order mark, no line end after "end"),
        // runs to it.
        UpdateCase{
            "NoGoLineKeptBlockRunsToTheEnd",
            "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
            "update \"orders\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
            "update \"orders\" set \"total\" = @c2\nend\n",
            ExpectedFraming("sp_msupd_dboorders") + "create procedure [sp_msupd_dboorders]\nas\n" +
                "begin\nupdate \"orders\" set \"total\" = @c2\nend\n"},
        UpdateCase{
            "NoGoLinePlainFormRunsToTheEnd",
            "\xEF\xBB\xBF"
            "create procedure [sp_MSupd_dboMessage]\n\t\t@c1 int = NULL,\n\t\t@pkc1 int = NULL,\n"
            "\t\t@bitmap binary(1)\nas\nbegin  \nif (substring(@bitmap,1,1) & 1 = 1)\nbegin \n\n"
            "update [dbo].[Message] set\n\t\t[MessageId] = case substring(@bitmap,1,1) & 1 when 1 "
            "then @c1 "
            "else [MessageId] end\nwhere [MessageId] = @pkc1\nend  \nend",
            "\xEF\xBB\xBF" + ExpectedFraming("sp_msupd_dbomessage") +
                "create procedure [sp_msupd_dbomessage]\n\t\t@c1 int = null,\n\t\t@pkc1 int = "
                "null,\n"
                "\t\t@bitmap binary(1)\nas\nbegin  \nif (substring(@bitmap,1,1) & 1 = 1)\nbegin "
                "\n\n"
                "update [dbo].[message] set\n\t\t[messageid] = case substring(@bitmap,1,1) & 1 "
                "when 1 then @c1 "
                "else [messageid] end\nwhere [messageid] = @pkc1\nend  \nend"}),
    [](const testing::TestParamInfo<UpdateCase>& info) { return info.param.label; });

// Whole scripts modelled on generated ones, with the output worked out by hand.
struct FixturePair {
  std::string label;
  std::string script;
  std::string expected;
};

void PrintTo(const FixturePair& c, std::ostream* os) { *os << c.script; }

class RewriteUpdateScript : public testing::TestWithParam<FixturePair> {};

// Update procedures do not consult the table set; this is the set the end-to-end run uses.
TEST_P(RewriteUpdateScript, MatchesTheExpectedOutputByteForByte) {
  const std::string written =
      Transform(ReadFixture(GetParam().script), {"customers", "notatable", "regions"});
  EXPECT_EQ(written, ReadFixture(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RewriteUpdateScript,
    testing::Values(
        // The older generated form with LF line ends: head, then the block after "else".
        FixturePair{"Sql2000IfSubstringFormLf", "update-sql2000-lf.sql",
                    "update-sql2000-lf.expected.sql"},
        // CR LF; if-substring, parenthesised and plain forms in one script, keywords in
        // capitals, blank lines collapsed within each written piece, object comments on
        // some procedures only.
        FixturePair{"MixedFormsCrLf", "update-mixed-crlf.sql", "update-mixed-crlf.expected.sql"}),
    [](const testing::TestParamInfo<FixturePair>& info) { return info.param.label; });

// A kept "begin" past the GO line, with no GO line after it: the procedure ends at its GO line
// and is copied through it; what follows is text after the last procedure. Nothing is cut
// past the end of the script.
TEST(RewriteUpdateProcedure, KeptBlockAfterTheLastGoLineIsText) {
  std::string script =
      "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
      "update orders set a = @c1\nif @@rowcount = 0\nreturn\nGO\nbegin\nupdate orders set b = "
      "@c2\nend\n";
  const ScanResult scan = ScanText(script);
  EXPECT_TRUE(scan.status.ok());
  EXPECT_EQ(scan.output, ExpectedFraming("sp_msupd_dboorders") + LowerCased(script));
}

// A write that fails leaves the stream failed; the next write is refused and the rewrite
// stops. Capacities are counted from the framing, which ends before the procedure's own text.
TEST(RewriteUpdateProcedure, RefusedWriteStops) {
  const std::string ifSubstringForm =
      "create procedure [sp_msupd_dboorders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
      "update orders set a = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\nupdate orders set b "
      "= @c2\nend\ngo\n";
  const std::string plainForm =
      "create procedure [sp_msupd_dboorders]\nas\nupdate orders set a = @c1\ngo\n";
  const std::string copied =
      "create procedure [sp_msupd_dboorders]\nas\nselect 1\ngo\n";  // no update
  const std::size_t framing = ExpectedFraming("sp_msupd_dboorders").size();
  const std::string head = "create procedure [sp_msupd_dboorders]\nas\n";
  const struct {
    const char* label;
    const std::string& script;
    std::size_t capacity;
    ProcedureEnding ending;
    std::string_view restAfter;  // where a procedure that went through leaves the rest
  } cases[] = {
      {"header fails, preamble refused", plainForm, 0, ProcedureEnding::kStop, ""},
      {"preamble fails, plain text refused", plainForm, framing - 1, ProcedureEnding::kStop, ""},
      {"preamble fails, head refused", ifSubstringForm, framing - 1, ProcedureEnding::kStop, ""},
      {"head fails, kept block refused", ifSubstringForm, framing + head.size() - 1,
       ProcedureEnding::kStop, ""},
      {"preamble fails, copied procedure refused", copied, framing - 1, ProcedureEnding::kStop, ""},
      {"plain text fails after it was taken", plainForm, framing, ProcedureEnding::kNextProcedure,
       "go\n"},
      {"copied procedure fails after it was taken", copied, framing,
       ProcedureEnding::kNextProcedure, "\n"},
      {"everything fits", ifSubstringForm, 10000, ProcedureEnding::kNextProcedure, "go\n"},
  };
  for (const auto& c : cases) {
    LimitedBuffer buffer(c.capacity);
    std::ostream out(&buffer);
    ScriptCursor cursor{c.script, out};
    const ProcedureFrame frame = FrameForRewrite(c.script);
    EXPECT_EQ(RewriteUpdateProcedure(cursor, frame), c.ending) << c.label;
    if (c.ending == ProcedureEnding::kNextProcedure) {
      EXPECT_EQ(cursor.rest, c.restAfter) << c.label;
    }
  }
}

// Wherever the output fails, it holds the start of the full output and the scan ends quietly:
// in the if-substring form, in a procedure copied unchanged, and in one that the end of the
// script ends.
TEST(RewriteUpdateProcedure, RefusedWriteAtEveryByteLeavesTheStartOfTheOutput) {
  std::string script =
      "create procedure [sp_MSupd_dboA]\r\nas\r\nif substring(@bitmap,1,1) & 1 = 1\r\nbegin\r\n"
      "update a set x = @c1\r\nif @@rowcount = 0\r\nreturn\r\nend\r\nelse\r\nbegin\r\n\r\n"
      "update a set y = @c2\r\nend\r\nGO\r\n"
      "create procedure [sp_MSupd_dboB]\r\nas\r\nselect 1\r\nGO\r\n"
      "create procedure [sp_MSupd_dboC]\nas\nupdate c set x = @c1\n";
  const std::string full = Transform(script, {"placeholder"});
  ASSERT_EQ(full, ExpectedFraming("sp_msupd_dboa") + "create procedure [sp_msupd_dboa]\r\nas\r\n" +
                      "begin\nupdate a set y = @c2\r\nend\r\ngo\r\n" +
                      ExpectedFraming("sp_msupd_dbob") +
                      "create procedure [sp_msupd_dbob]\r\nas\r\nselect 1\r\ngo\r\n" +
                      ExpectedFraming("sp_msupd_dboc") +
                      "create procedure [sp_msupd_dboc]\nas\nupdate c set x = @c1\n");
  ExpectEveryFailedWriteStopsTheScan(script, {"placeholder"}, full);
}

}  // namespace

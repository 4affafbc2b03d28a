// The update rewrite: which form a procedure takes, what each form keeps, and the endings when
// the markers are missing or out of order.
#include "rewrite/update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <streambuf>

#include "tests/support.h"

namespace {

// A plain update procedure put after a procedure that must pass the rest: it shows up
// framed only when the scan went on to it.
const std::string kNextProcedure = "create procedure [sp_MSupd_dboItems]\nas\nupdate items set a = @c1\nGO\n";
const std::string kNextProcedureCopied = "create procedure [sp_msupd_dboitems]\nas\nupdate items set a = @c1\ngo\n";

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
        // versions is copied whole up to "go".
        UpdateCase{"ParenthesisedTestIsPlainForm",
                   "create procedure [sp_MSupd_dboOrders]\n@c1 int = NULL,@pkc1 int = NULL,@bitmap binary(1)\nas\nbegin\n"
                   "if (substring(@bitmap,1,1) & 1 = 1)\nbegin\nUPDATE [dbo].[Orders] set [OrderID] = @c1\n"
                   "where [OrderID] = @pkc1\nif @@rowcount = 0\nexec sp_MSreplraiserror @errorid=20598\nend\nelse\n"
                   "begin\nUPDATE [dbo].[Orders] set [Amount] = @c2 where [OrderID] = @pkc1\nend\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dboorders") +
                       "create procedure [sp_msupd_dboorders]\n@c1 int = null,@pkc1 int = null,@bitmap binary(1)\nas\nbegin\n"
                       "if (substring(@bitmap,1,1) & 1 = 1)\nbegin\nupdate [dbo].[orders] set [orderid] = @c1\n"
                       "where [orderid] = @pkc1\nif @@rowcount = 0\nexec sp_msreplraiserror @errorid=20598\nend\nelse\n"
                       "begin\nupdate [dbo].[orders] set [amount] = @c2 where [orderid] = @pkc1\nend\nend\ngo\n" +
                       ExpectedFraming("sp_msupd_dboitems") + kNextProcedureCopied},
        // A "begin" between "if substring" and the first "update" opens the dropped block;
        // the kept one is the first "begin" after the first "@@rowcount".
        UpdateCase{"KeepsTheBeginAfterTheFirstRowcount",
                   "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"orders\" set \"id\" = @c1, \"total\" = @c2\nwhere \"id\" = @pkc1\nif @@rowcount = 0\n"
                   "exec sp_MSreplraiserror 20598\nend\nelse\nbegin\nupdate \"orders\" set \"total\" = @c2\n"
                   "where \"id\" = @pkc1\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dboorders") + "create procedure [sp_msupd_dboorders]\nas\n" +
                       "begin\nupdate \"orders\" set \"total\" = @c2\nwhere \"id\" = @pkc1\nend\n" + "go\n" +
                       ExpectedFraming("sp_msupd_dboitems") + kNextProcedureCopied},
        // "go" inside a name puts the first "go" before "update".
        UpdateCase{"GoInTheTableNamePassesTheRest",
                   "create procedure [sp_MSupd_dboCategories]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"categories\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                   "update \"categories\" set \"name\" = @c2\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dbocategories") +
                       "create procedure [sp_msupd_dbocategories]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                       "update \"categories\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                       "update \"categories\" set \"name\" = @c2\nend\ngo\n" +
                       kNextProcedureCopied},
        // In the first update statement, "go" in a column name comes before "@@rowcount" and
        // "begin" in a column name before it: the head is written, then the rest from "update".
        UpdateCase{"GoInAColumnOfTheFirstUpdatePassesTheRestAfterTheHead",
                   "create procedure [sp_MSupd_dboBrands]\n@c1 int,@c2 varchar(10),@pkc1 int\nas\n"
                   "if substring(@bitmap,1,1) & 1 = 1\nbegin\nupdate \"brands\" set \"brand_id\" = @c1, \"logo\" = @c2\n"
                   "where \"brand_id\" = @pkc1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                   "update \"brands\" set \"logo\" = @c2\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dbobrands") + "create procedure [sp_msupd_dbobrands]\n@c1 int,@c2 varchar(10),@pkc1 int\nas\n" +
                       "update \"brands\" set \"brand_id\" = @c1, \"logo\" = @c2\n"
                       "where \"brand_id\" = @pkc1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                       "update \"brands\" set \"logo\" = @c2\nend\ngo\n" +
                       kNextProcedureCopied},
        UpdateCase{"BeginInAColumnOfTheFirstUpdatePassesTheRestAfterTheHead",
                   "create procedure [sp_MSupd_dboTerms]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"terms\" set \"id\" = @c1, \"begin_date\" = @c2\nif @@rowcount = 0\nreturn\nend\nelse\n"
                   "begin\nupdate \"terms\" set \"begin_date\" = @c2\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dboterms") + "create procedure [sp_msupd_dboterms]\nas\n" +
                       "update \"terms\" set \"id\" = @c1, \"begin_date\" = @c2\nif @@rowcount = 0\nreturn\nend\nelse\n"
                       "begin\nupdate \"terms\" set \"begin_date\" = @c2\nend\ngo\n" +
                       kNextProcedureCopied},
        // Missing markers of the if-substring form: the head is written, then the rest from
        // the first "update".
        UpdateCase{"NoBeginAfterTheRowcountPassesTheRestAfterTheHead",
                   "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"orders\" set \"id\" = @c1\nif @@rowcount = 0\nexec sp_MSreplraiserror 20598\nend\nGO\n",
                   ExpectedFraming("sp_msupd_dboorders") + "create procedure [sp_msupd_dboorders]\nas\n" +
                       "update \"orders\" set \"id\" = @c1\nif @@rowcount = 0\nexec sp_msreplraiserror 20598\nend\ngo\n"},
        UpdateCase{"NoRowcountPassesTheRestAfterTheHead",
                   "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"orders\" set \"id\" = @c1\nend\nelse\nbegin\nupdate \"orders\" set \"total\" = @c2\nend\nGO\n",
                   ExpectedFraming("sp_msupd_dboorders") + "create procedure [sp_msupd_dboorders]\nas\n" +
                       "update \"orders\" set \"id\" = @c1\nend\nelse\nbegin\nupdate \"orders\" set \"total\" = @c2\nend\ngo\n"},
        // Missing or misplaced "update" and "go": only the framing is written before the rest.
        UpdateCase{"NoGoAfterUpdatePassesTheRest",
                   "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"orders\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                   "update \"orders\" set \"total\" = @c2\nend\n",
                   ExpectedFraming("sp_msupd_dboorders") +
                       "create procedure [sp_msupd_dboorders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                       "update \"orders\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                       "update \"orders\" set \"total\" = @c2\nend\n"},
        UpdateCase{"NoUpdateBeforeGoPassesTheRest",
                   "create procedure [sp_MSupd_dboOrders]\nas\nselect 1\nGO\n" + kNextProcedure,
                   ExpectedFraming("sp_msupd_dboorders") + "create procedure [sp_msupd_dboorders]\nas\nselect 1\ngo\n" +
                       kNextProcedureCopied},
        UpdateCase{"IfSubstringBetweenUpdateAndGoPassesTheRest",
                   "create procedure [sp_MSupd_dboOrders]\nas\nupdate orders set a = @c1\n"
                   "if substring(@bitmap,1,1) & 1 = 1\nreturn\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dboorders") +
                       "create procedure [sp_msupd_dboorders]\nas\nupdate orders set a = @c1\n"
                       "if substring(@bitmap,1,1) & 1 = 1\nreturn\ngo\n" +
                       kNextProcedureCopied},
        // "update" inside the table name comes before "if substring".
        UpdateCase{"UpdateInTheTableNamePassesTheRest",
                   "create procedure [sp_MSupd_dboStockUpdates]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                   "update \"stockupdates\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                   "update \"stockupdates\" set \"qty\" = @c2\nend\nGO\n" +
                       kNextProcedure,
                   ExpectedFraming("sp_msupd_dbostockupdates") +
                       "create procedure [sp_msupd_dbostockupdates]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
                       "update \"stockupdates\" set \"id\" = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\n"
                       "update \"stockupdates\" set \"qty\" = @c2\nend\ngo\n" +
                       kNextProcedureCopied}),
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
  const std::string written = Transform(ReadFixture(GetParam().script), {"customers", "notatable", "regions"});
  EXPECT_EQ(written, ReadFixture(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RewriteUpdateScript,
    testing::Values(
        // The older generated form with LF line ends: head, then the block after "else".
        FixturePair{"Sql2000IfSubstringFormLf", "update-sql2000-lf.sql", "update-sql2000-lf.expected.sql"},
        // CR LF; if-substring, parenthesised and plain forms in one script, keywords in
        // capitals, blank lines collapsed within each written piece, object comments on
        // some procedures only.
        FixturePair{"MixedFormsCrLf", "update-mixed-crlf.sql", "update-mixed-crlf.expected.sql"}),
    [](const testing::TestParamInfo<FixturePair>& info) { return info.param.label; });

// A kept "begin" with no "go" after it anywhere: the block is written to the end of the
// script, then the cut past the end is reported.
TEST(RewriteUpdateProcedure, KeptBlockWithoutGoIsOutOfRangeAfterWritingIt) {
  std::string script =
      "create procedure [sp_MSupd_dboOrders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
      "update orders set a = @c1\nif @@rowcount = 0\nreturn\nGO\nbegin\nupdate orders set b = @c2\nend\n";
  LowerCaseScript(script);
  std::ostringstream out;
  EXPECT_THROW(ScanScript(script, {"placeholder"}, out), std::out_of_range);
  EXPECT_EQ(out.str(), ExpectedFraming("sp_msupd_dboorders") + "create procedure [sp_msupd_dboorders]\nas\n" +
                           "begin\nupdate orders set b = @c2\nend\n");
}


// A write that fails leaves the stream failed; the next write is refused and the rewrite
// stops. Capacities are counted from the framing, which ends before the procedure's own text.
TEST(RewriteUpdateProcedure, RefusedWriteStops) {
  const std::string ifSubstringForm =
      "create procedure [sp_msupd_dboorders]\nas\nif substring(@bitmap,1,1) & 1 = 1\nbegin\n"
      "update orders set a = @c1\nif @@rowcount = 0\nreturn\nend\nelse\nbegin\nupdate orders set b = @c2\nend\ngo\n";
  const std::string plainForm = "create procedure [sp_msupd_dboorders]\nas\nupdate orders set a = @c1\ngo\n";
  const std::size_t framing = ExpectedFraming("sp_msupd_dboorders").size();
  const std::string head = "create procedure [sp_msupd_dboorders]\nas\n";
  const struct {
    const char* label;
    const std::string& script;
    std::size_t capacity;
    ProcedureEnding ending;
  } cases[] = {
      {"header fails, preamble refused", plainForm, 0, ProcedureEnding::kStop},
      {"preamble fails, plain text refused", plainForm, framing - 1, ProcedureEnding::kStop},
      {"preamble fails, head refused", ifSubstringForm, framing - 1, ProcedureEnding::kStop},
      {"head fails, kept block refused", ifSubstringForm, framing + head.size() - 1, ProcedureEnding::kStop},
      {"plain text fails after it was taken", plainForm, framing, ProcedureEnding::kNextProcedure},
      {"everything fits", ifSubstringForm, 10000, ProcedureEnding::kNextProcedure},
  };
  for (const auto& c : cases) {
    LimitedBuffer buffer(c.capacity);
    std::ostream out(&buffer);
    ScriptCursor cursor{c.script, out};
    ProcedureFrame frame;
    ASSERT_TRUE(CutProcedureName(c.script, frame));
    UpdateSearches searches;
    EXPECT_EQ(RewriteUpdateProcedure(cursor, frame, searches), c.ending) << c.label;
    if (c.ending == ProcedureEnding::kNextProcedure) {
      EXPECT_TRUE(cursor.rest.starts_with("go\n")) << c.label;
    }
  }
}

}  // namespace

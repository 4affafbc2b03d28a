// The scan: where procedures are found, what is copied around them, and how one procedure
// that no rewrite takes leaves the others to be rewritten. The rewrites of each kind have
// their own tests.
#include "rewrite/scan.h"

#include <gtest/gtest.h>

#include "tests/support.h"

namespace {

// A delete procedure that is always rewritten, and what becomes of it up to its GO line; the
// line end after it is copied with the text that follows.
const std::string kDelete =
    "create procedure [sp_MSdel_dboA] @pkc1 int\r\nas\r\ndelete a where id = @pkc1\r\n"
    "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n        exec sp_MSreplraiserror "
    "20598\r\nGO\r\n";
const std::string kDeleteRewritten =
    ExpectedFraming("sp_msdel_dboa") +
    "create procedure [sp_msdel_dboa] @pkc1 int\r\nas\r\ndelete a where id = @pkc1\r\n"
    "/*-D- if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n        exec "
    "sp_msreplraiserror 20598"
    " -D-*/\n \n \r\ngo";

struct ScanCase {
  std::string label;
  std::string script;
  std::string output;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.label; }

class Scan : public testing::TestWithParam<ScanCase> {};

TEST_P(Scan, WritesTheScriptWithEveryReplicationProcedureRewritten) {
  EXPECT_EQ(Transform(GetParam().script), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Scan,
    testing::Values(
        ScanCase{"TextBeforeTheFirstProcedureIsCopied",
                 "-- Header\r\nSET ANSI_NULLS ON\r\nGO\r\n" + kDelete,
                 "-- header\r\nset ansi_nulls on\r\ngo\r\n" + kDeleteRewritten + "\r\n"},
        ScanCase{"TextAfterTheLastProcedureIsCopied", kDelete + "-- Trailer\r\n\r\n",
                 kDeleteRewritten + "\r\n-- trailer\n"},
        ScanCase{"ScriptWithoutProcedureIsCopied", "just text\r\n\r\nmore", "just text\nmore"},
        ScanCase{"ScriptStartingWithTheKeyword", kDelete, kDeleteRewritten + "\r\n"},
        // Procedures that no rewrite takes are copied through their GO line, and the scan goes on.
        ScanCase{"UserProcedureFirst",
                 "create procedure [dbo].[usp_GetOrders]\r\nas\r\nselect * from orders\r\nGO\r\n" +
                     kDelete,
                 "create procedure [dbo].[usp_getorders]\r\nas\r\nselect * from orders\r\ngo\r\n" +
                     kDeleteRewritten + "\r\n"},
        ScanCase{
            "OtherKindOfReplicationProcedure",
            "create procedure [dbo].[sp_MSsel_dboOrders]\r\nas\r\nselect 1\r\nGO\r\n" + kDelete,
            "create procedure [dbo].[sp_mssel_dboorders]\r\nas\r\nselect 1\r\ngo\r\n" +
                kDeleteRewritten + "\r\n"},
        ScanCase{"NameTooShort", "create procedure [sp_MSd]\r\nas\r\nGO\r\n" + kDelete,
                 "create procedure [sp_msd]\r\nas\r\ngo\r\n" + kDeleteRewritten + "\r\n"},
        ScanCase{"ProcedureWithoutGoLineEndsTheScript",
                 "create procedure [dbo].[usp_x]\r\nas\r\nselect 1",
                 "create procedure [dbo].[usp_x]\r\nas\r\nselect 1"},
        // "create procedure " inside comments, strings and quoted names is text.
        ScanCase{"KeywordInALineComment", "-- create procedure [sp_MSins_dboT] as\r\n" + kDelete,
                 "-- create procedure [sp_msins_dbot] as\r\n" + kDeleteRewritten + "\r\n"},
        ScanCase{"KeywordInANestedBlockComment",
                 "/* old /* create procedure [sp_MSins_dboT] */\r\ncreate procedure "
                 "[sp_MSins_dboT] */\r\n" +
                     kDelete,
                 "/* old /* create procedure [sp_msins_dbot] */\r\ncreate procedure "
                 "[sp_msins_dbot] */\r\n" +
                     kDeleteRewritten + "\r\n"},
        ScanCase{
            "KeywordInAStringWithDoubledQuotes",
            "print 'it''s create procedure [sp_MSins_dboT]'\r\nGO\r\n" + kDelete,
            "print 'it''s create procedure [sp_msins_dbot]'\r\ngo\r\n" + kDeleteRewritten + "\r\n"},
        ScanCase{"KeywordInANString",
                 "exec sp_executesql N'create procedure [sp_MSdel_dboT] as if @@rowcount = 0 exec "
                 "sp_MSreplraiserror 20598'\r\nGO\r\n" +
                     kDelete,
                 "exec sp_executesql n'create procedure [sp_msdel_dbot] as if @@rowcount = 0 exec "
                 "sp_msreplraiserror 20598'\r\ngo\r\n" +
                     kDeleteRewritten + "\r\n"},
        ScanCase{
            "KeywordInAQuotedName",
            "select 1 as [create procedure sp_MSins_dboT]\r\nGO\r\n" + kDelete,
            "select 1 as [create procedure sp_msins_dbot]\r\ngo\r\n" + kDeleteRewritten + "\r\n"},
        // sqlcmd ends the batch at a GO line even inside a comment, and so does the scan.
        ScanCase{"GoLineEndsAnUnclosedComment", "/* not closed\r\nGO\r\n" + kDelete,
                 "/* not closed\r\ngo\r\n" + kDeleteRewritten + "\r\n"}),
    [](const testing::TestParamInfo<ScanCase>& info) { return info.param.label; });

TEST(ScanScript, KeywordAtTheVeryEndIsMalformed) {
  const ScanResult malformed = ScanText("go\ncreate procedure ");
  EXPECT_EQ(malformed.status.code(), Status::Code::kMalformed);
  EXPECT_EQ(malformed.status.message(), "the script ends with \"create procedure\"");
  // One byte after the keyword is enough to cut the name text.
  EXPECT_TRUE(ScanText("go\ncreate procedure [").status.ok());
}

}  // namespace

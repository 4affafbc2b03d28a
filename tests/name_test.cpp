// The name cut: which create lines name a replication procedure, and the name, kind and
// framing texts cut from them.
#include "rewrite/name.h"

#include <gtest/gtest.h>

#include "tests/support.h"

namespace {

struct NameCase {
  std::string label;
  std::string createLine;  // after "create procedure ", as written
  std::string procName;    // empty: not a replication procedure
  std::string procKind;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class NameCut : public testing::TestWithParam<NameCase> {};

TEST_P(NameCut, CutsNameKindAndFraming) {
  const NameCase& c = GetParam();
  const std::string script =
      "create procedure " + c.createLine + "\r\nas\r\nupdate t set c = 1\r\ngo\r\n";
  ProcedureFrame frame;
  if (c.procName.empty()) {
    EXPECT_FALSE(CutProcedureName(script, frame));
    return;
  }
  ASSERT_TRUE(CutProcedureName(script, frame));
  EXPECT_EQ(frame.procName, c.procName);
  EXPECT_EQ(frame.procKind, c.procKind);
  EXPECT_EQ(frame.objectHeader, ExpectedHeader(c.procName));
  EXPECT_EQ(frame.dropPreamble, ExpectedPreamble(c.procName));
}

std::string HighBytes() {
  std::string bytes;
  for (int byte = 0x80; byte <= 0xFF; ++byte) bytes += static_cast<char>(byte);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    CreateLines, NameCut,
    testing::Values(
        NameCase{"BracketsWithOwner", "[dbo].[sp_MSins_dboOrders]", "sp_msins_dboorders", "ins"},
        NameCase{"BracketsWithoutOwner", "[sp_MSdel_dboOrders]", "sp_msdel_dboorders", "del"},
        NameCase{"DoubleQuotes", "\"sp_MSupd_Orders\"", "sp_msupd_orders", "upd"},
        NameCase{"ParametersOnTheCreateLine", "[dbo].[sp_MSupd_dboOrders] @c1 int,@c2 varchar(10)",
                 "sp_msupd_dboorders", "upd"},
        // An export that joined the lines: the parameters' brackets do not extend the name.
        NameCase{"BracketedParametersOnTheCreateLine",
                 "[dbo].[sp_MSins_dboRegion]     @c1 int,     @c2 [nvarchar](50) as begin   insert",
                 "sp_msins_dboregion", "ins"},
        NameCase{"OtherOwner", "[sales].[sp_MSins_salesOrders]", "sp_msins_salesorders", "ins"},
        NameCase{"QuotedSql2000Form", "\"dbo\".\"sp_MSins_bgt_armaster_base\" @c1 binary(8)",
                 "sp_msins_bgt_armaster_base", "ins"},
        NameCase{"BareName", "sp_MSins_Orders", "sp_msins_orders", "ins"},
        NameCase{"BareNameWithOwnerAndParameters", "dbo.sp_MSdel_dboOrders(@c1 int)",
                 "sp_msdel_dboorders", "del"},
        NameCase{"BareNameBeforeASemicolon", "sp_MSdel_dboOrders;1", "sp_msdel_dboorders", "del"},
        NameCase{"DoubledBracketStaysInside", "[sp_MSins_dboA]]B] @c1 int", "sp_msins_dboa]]b",
                 "ins"},
        NameCase{"DoubledQuoteStaysInside", "\"sp_MSins_dboA\"\"B\" @c1 int", "sp_msins_dboa\"\"b",
                 "ins"},
        // Without its closing bracket the name runs to the line end, carriage return included.
        NameCase{"UnclosedBracketRunsToTheLineEnd", "[sp_MSins_dboOrders", "sp_msins_dboorders\r",
                 "ins"},
        NameCase{"LongNameCutAt127", "[sp_MSins_" + std::string(200, 'a') + "]",
                 "sp_msins_" + std::string(118, 'a'), "ins"},
        // Names are bytes: none but A-Z is changed, and a zero byte ends the name buffer.
        NameCase{"HighBytesKept", "[dbo].[sp_MSupd_dbo" + HighBytes() + "]",
                 "sp_msupd_dbo" + HighBytes().substr(0, 115), "upd"},
        NameCase{"ControlBytesKept", "[sp_MSupd_dboT\x01\t\x0b\r\x1f\x7fT]",
                 "sp_msupd_dbot\x01\t\x0b\r\x1f\x7ft", "upd"},
        NameCase{"ZeroByteEndsTheName", "[sp_MSins_dboAb" + std::string(1, '\0') + "cd]",
                 "sp_msins_dboab", "ins"},
        NameCase{"ZeroByteFirst", "[sp_MSupd_dbo" + std::string(1, '\0') + "X]", "sp_msupd_dbo",
                 "upd"},
        // Not replication procedures: copied by the scan as they stand.
        NameCase{"NoReplicationName", "[dbo].[usp_GetOrders]", "", ""},
        NameCase{"ReplicationNameOnALaterLine", "[dbo].[Orders]\r\n-- calls sp_MSins_dboOrders", "",
                 ""},
        NameCase{"NameShorterThanNineBytes", "[sp_MSd]", "", ""},
        NameCase{"NothingOnTheCreateLine", "\n[sp_MSdel_dboA]", "", ""}),
    [](const testing::TestParamInfo<NameCase>& info) { return info.param.label; });

TEST(CutProcedureName, KeywordAtTheVeryEndNamesNoProcedure) {
  ProcedureFrame frame;
  EXPECT_FALSE(CutProcedureName("create procedure ", frame));
}

}  // namespace

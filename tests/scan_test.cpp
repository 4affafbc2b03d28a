// The scan: name cuts, framing, the collapse of blank lines, and the file handling of
// TransformScript. The rewrites of each kind have their own tests.
#include "rewrite/script_file.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>

#include "tests/support.h"

namespace {

// A procedure of an unknown kind ("sel") stops the scan with the rest copied, which shows
// the text before it, and its own text, unchanged.
TEST(ScanScript, CopiesTextBeforeFirstProcedureAndPassesUnknownKindThrough) {
  const std::string script = "-- Header\r\ncreate procedure [dbo].[sp_MSsel_dboOrders]\r\nas\r\nGO\r\n";
  EXPECT_EQ(Transform(script), "-- header\r\ncreate procedure [dbo].[sp_mssel_dboorders]\r\nas\r\ngo\r\n");
}

TEST(ScanScript, WithoutSpMsAfterTheKeywordPassesEverythingThrough) {
  EXPECT_EQ(Transform("x\r\ncreate procedure [dbo].[Orders]\r\nas\r\ngo\r\n"),
            "x\r\ncreate procedure [dbo].[orders]\r\nas\r\ngo\r\n");
}

// An empty piece is not a refusal: a script that starts with the keyword is still written.
TEST(ScanScript, ScriptStartingWithKeywordIsWritten) {
  const std::string script = "create procedure [sp_MSsel_dboOrders]\nas\ngo\n";
  EXPECT_EQ(Transform(script), "create procedure [sp_mssel_dboorders]\nas\ngo\n");
}

// Text after the last create keyword is written.
TEST(ScanScript, TextWithoutFurtherKeywordIsWritten) {
  EXPECT_EQ(Transform("just text\r\n\r\nmore"), "just text\nmore");
}

TEST(ScanScript, KeywordAtTheVeryEndIsOutOfRange) {
  EXPECT_THROW(Transform("go\ncreate procedure "), std::out_of_range);
  // One byte after the keyword is enough to cut the name text.
  EXPECT_NO_THROW(Transform("go\ncreate procedure ["));
}

TEST(ScanScript, NameTextShorterThanNineBytesIsOutOfRange) {
  EXPECT_THROW(Transform("create procedure [sp_msx]\nas\ngo\n"), std::out_of_range);
}

// The name cut of the create lines SQL Server writes (lower-cased, ending in CR LF).
struct NameCase {
  std::string label;
  std::string createLine;
  std::string procName;
  std::string tableName;
  std::string procKind;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.label; }

class NameCut : public testing::TestWithParam<NameCase> {};

TEST_P(NameCut, CutsNameTableAndKind) {
  const NameCase& c = GetParam();
  std::string script = c.createLine + "\r\nas\r\ngo\r\n";
  LowerCaseScript(script);
  ProcedureFrame frame;
  ASSERT_TRUE(CutProcedureName(script, frame));
  EXPECT_EQ(frame.procName, c.procName);
  EXPECT_EQ(frame.tableName, c.tableName);
  EXPECT_EQ(frame.procKind, c.procKind);
  EXPECT_EQ(frame.objectHeader, "/****** Object:  StoredProcedure [dbo].[ " + c.procName + " ] ******/\n \n");
  EXPECT_EQ(frame.dropPreamble, "IF object_id('dbo.[" + c.procName + "]') IS NOT NULL \n\tDROP PROCEDURE dbo.[" +
                                    c.procName + "]\nGO\n---------------------------\n");
}

INSTANTIATE_TEST_SUITE_P(
    CreateLines, NameCut,
    testing::Values(
        NameCase{"BracketsWithOwner", "create procedure [dbo].[sp_MSins_dboOrders]", "sp_msins_dboorders", "orders", "ins"},
        NameCase{"BracketsWithoutOwner", "create procedure [sp_MSdel_dboOrders]", "sp_msdel_dboorders", "orders", "del"},
        NameCase{"DoubleQuotes", "create procedure \"sp_MSupd_Orders\"", "sp_msupd_orders", "orders", "upd"},
        NameCase{"ParametersOnTheCreateLine", "create procedure [dbo].[sp_MSupd_dboOrders] @c1 int,@c2 varchar(10)",
                 "sp_msupd_dboorders", "orders", "upd"},
        NameCase{"OtherOwnerStays", "create procedure [sales].[sp_MSins_salesOrders]", "sp_msins_salesorders",
                 "salesorders", "ins"},
        NameCase{"QuotedSql2000Form", "create procedure \"dbo\".\"sp_MSins_bgt_armaster_base\" @c1 binary(8)",
                 "sp_msins_bgt_armaster_base", "bgt_armaster_base", "ins"},
        // A bare name loses its first byte to the skip, so "sp_ms" is found further on.
        NameCase{"BareNameFindsNextSpMs", "create procedure sp_MSins_Orders\r\nas\r\ngo\r\ncreate procedure [sp_MSdel_dboItems]",
                 "sp_msdel_dboitems", "items", "del"},
        // Names are cut at 127 bytes; the table keeps 127 bytes of what follows the kind.
        NameCase{"LongNameCutAt127", "create procedure [sp_MSins_" + std::string(200, 'a') + "]",
                 "sp_msins_" + std::string(118, 'a'), std::string(127, 'a'), "ins"},
        // A zero byte ends a name as it ends the name buffer.
        NameCase{"ZeroByteEndsName", "create procedure [sp_MSins_dboAb" + std::string(1, '\0') + "cd]", "sp_msins_dboab", "ab",
                 "ins"}),
    [](const testing::TestParamInfo<NameCase>& info) { return info.param.label; });

TEST(CutProcedureName, WithoutLineFeedTheNameRunsToTheLastBracketOfTheScript) {
  // One line, two procedures: the first name runs to the last "]" anywhere after it.
  std::string script = "create procedure [sp_msins_dboa] as go create procedure [sp_msdel_dbob] as go";
  ProcedureFrame frame;
  ASSERT_TRUE(CutProcedureName(script, frame));
  EXPECT_EQ(frame.procName, "sp_msins_dboa] as go create procedure [sp_msdel_dbob");
  EXPECT_EQ(frame.procKind, "ins");
}

TEST(CutProcedureName, LineFeedRightAfterTheOpeningByteKeepsTheWholeText) {
  std::string script = "create procedure [\n[sp_msdel_dboa]\n";
  ProcedureFrame frame;
  ASSERT_TRUE(CutProcedureName(script, frame));
  EXPECT_EQ(frame.procName, "\n[sp_msdel_dboa");
  EXPECT_EQ(frame.procKind, "msd");
}

TEST(CutProcedureName, NoSpMsAfterTheKeyword) {
  ProcedureFrame frame;
  EXPECT_FALSE(CutProcedureName("create procedure [dbo].[orders]\nas\ngo\n", frame));
}

// Blank lines collapse within one piece, always from the first run again.
TEST(WriteScriptPiece, CollapsesCrLfCrLfRunsFromTheStart) {
  const struct {
    std::string piece;
    std::string written;
  } cases[] = {
      {"x\r\n\r\ny", "x\ny"},
      {"x\r\n\r\n\r\ny", "x\n\r\ny"},
      {"x\r\n\r\n\r\n\r\ny", "x\n\ny"},
      {"x\r\r\n\r\n\r\ny", "x\ny"},  // a collapse can make the next run
      {"\r\n\r\r\n\r\r\n\r\n", "\n"},
      {"x\n\ny", "x\n\ny"},
      {"\r\n\r", "\r\n\r"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    EXPECT_TRUE(WriteScriptPiece(out, c.piece));
    EXPECT_EQ(out.str(), c.written) << testing::PrintToString(c.piece);
  }
}

// Collapses near the boundaries of the writer's internal chunks still see the whole piece.
TEST(WriteScriptPiece, CollapsesAcrossLongPieces) {
  std::string piece, expected;
  for (int i = 0; i < 50000; ++i) {
    piece += "line\r\n\r\n";
    expected += "line\n";
  }
  piece += std::string(3000, 'z');
  expected += std::string(3000, 'z');
  std::string cascade;  // (CR LF CR) x n then LF: collapses all the way back
  for (int i = 0; i < 40000; ++i) cascade += "\r\n\r";
  piece += "a" + cascade + "\r\n\r\n";
  expected += "a\n";
  std::ostringstream out;
  WriteScriptPiece(out, piece);
  EXPECT_TRUE(out.str() == expected);  // no diff of half a megabyte on failure
}

// Against the rule taken literally on short random pieces of CR, LF and a letter.
TEST(WriteScriptPiece, AgreesWithRepeatedFirstRunReplacement) {
  std::minstd_rand random(7);
  for (int round = 0; round < 5000; ++round) {
    std::string piece;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) piece += "\r\nx"[random() % 3];
    std::string expected = piece;
    for (std::size_t run; (run = expected.find("\r\n\r\n")) != std::string::npos;) {
      expected.erase(run, 3);
    }
    std::ostringstream out;
    WriteScriptPiece(out, piece);
    ASSERT_EQ(out.str(), expected) << testing::PrintToString(piece);
  }
}

// After a long stretch, CR then CR LF CR LF: the first run's collapse leaves CR LF, which the
// next CR LF completes to a run that reaches back to that first CR.
TEST(WriteScriptPiece, KeepsTheBytesACascadeReachesAfterALongStretch) {
  const std::string stretch(70000, 'y');
  std::ostringstream out;
  WriteScriptPiece(out, stretch + "\r\r\n\r\n\r\n\r\n");
  EXPECT_TRUE(out.str() == stretch + "\n\r\n");
}

// Long stretches without a run go out apart from the collapsible bytes around them; the
// result must still be that of the rule taken literally. Pieces of random short and long
// segments, ending now and then in a cascade longer than the writer's chunks.
TEST(WriteScriptPiece, AgreesWithRepeatedFirstRunReplacementOnLongPieces) {
  std::minstd_rand random(3);
  const std::string segments[] = {"\r\n", "\r", "\n", "x", "\r\n\r\n", std::string(70000, 'y'),
                                  std::string(70000, 'z') + "\r\n\r"};
  std::string cascade;  // 72000 bytes of CR LF CR: a run after it collapses them all
  for (int i = 0; i < 24000; ++i) cascade += "\r\n\r";
  for (int round = 0; round < 60; ++round) {
    std::string piece;
    for (int i = static_cast<int>(random() % 30); i > 0; --i) piece += segments[random() % 7];
    if (round % 3 == 0) piece += cascade + (round % 2 == 0 ? "\n" : "");
    std::string expected = piece;
    // No run can stand before the one just collapsed, except in its last three bytes.
    for (std::size_t run = expected.find("\r\n\r\n"); run != std::string::npos;
         run = expected.find("\r\n\r\n", run < 3 ? 0 : run - 3)) {
      expected.erase(run, 3);
    }
    std::ostringstream out;
    WriteScriptPiece(out, piece);
    ASSERT_TRUE(out.str() == expected) << "round " << round;  // no diff of this size
  }
}

TEST(WriteScriptPiece, RefusesAFailedStream) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  EXPECT_FALSE(WriteScriptPiece(out, "x"));
}

TEST(TransformScript, EmptyArgumentsFailBeforeTouchingFiles) {
  ScratchDir dir;
  WriteFile(dir / "in.sql", "create procedure [sp_msins_dboa]\n");
  const std::string in = (dir / "in.sql").string(), out = (dir / "out.sql").string();
  EXPECT_EQ(TransformScript("", {"a"}, out), TransformOutcome::kNotRun);
  EXPECT_EQ(TransformScript(in, {"a"}, ""), TransformOutcome::kNotRun);
  EXPECT_EQ(TransformScript(in, {}, out), TransformOutcome::kNotRun);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.sql"));
}

// The output is gathered into large writes; a failing device must still be reported.
TEST(TransformScript, ReportsAFailedWrite) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  ScratchDir dir;
  WriteFile(dir / "in.sql", "text\ncreate procedure [sp_MSsel_x]\ngo\n");
  EXPECT_EQ(TransformScript((dir / "in.sql").string(), {"a"}, "/dev/full"), TransformOutcome::kCannotWrite);
}

TEST(TransformScript, OutputMayBeTheInput) {
  ScratchDir dir;
  const std::string path = (dir / "script.sql").string();
  WriteFile(path, "Text\r\n\r\nMore\r\ncreate procedure [sp_MSsel_x]\r\nGO\r\n");
  EXPECT_EQ(TransformScript(path, {"a"}, path), TransformOutcome::kDone);
  EXPECT_EQ(ReadFile(path), "text\nmore\r\ncreate procedure [sp_mssel_x]\r\ngo\r\n");
}

}  // namespace

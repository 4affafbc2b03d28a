// The output cursor: pieces written with their blank-line collapse.
#include "rewrite/cursor.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace {

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
  const std::string segments[] = {"\r\n",
                                  "\r",
                                  "\n",
                                  "x",
                                  "\r\n\r\n",
                                  std::string(70000, 'y'),
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

}  // namespace

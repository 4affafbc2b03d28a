// T-SQL's lexical rules: whole words, reserved keywords, text that holds no code, and where a
// procedure's landmarks stand in code, held against the tests' own byte-at-a-time reader.
#include "rewrite/lexical.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/tsql_batches.h"

namespace {

// ---- ProcedureWords::Find

struct WordCase {
  std::string_view label;
  std::string_view text;
  std::string_view word;
  std::size_t found;  // where Find(word) finds it from the start
};

void PrintTo(const WordCase& c, std::ostream* os) { *os << c.label; }

class FindWord : public testing::TestWithParam<WordCase> {};

TEST_P(FindWord, FindsTheWholeWordInCode) {
  ProcedureWords words(GetParam().text);
  EXPECT_EQ(words.Find(Needle(GetParam().word)), GetParam().found)
      << testing::PrintToString(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Words, FindWord,
    testing::Values(
        WordCase{"InCode", "as begin insert", "insert", 9},
        WordCase{"AnyCase", "as BEGIN INSERT", "insert", 9},
        WordCase{"AtTheStartAndEnd", "end", "end", 0},
        WordCase{"LettersAfter", "BeginBalance = 1 begin", "begin", 17},
        WordCase{"LettersBefore", "Weekend end", "end", 8},
        WordCase{"WordBytesAround", "@InsertDate _insert insert# $insert insert", "insert", 36},
        WordCase{"ByteFrom0x80Before", "\xC3\xA9insert insert", "insert", 9},
        WordCase{"DotAndBracketsAreNoWordBytes", "dbo.end", "end", 4},
        WordCase{"InABracketedName", "[sp_MSins_dboInsertion] [the insert] insert", "insert", 37},
        WordCase{"InAQuotedName", "\"insert\" insert", "insert", 9},
        WordCase{"InAString", "'insert' n'insert' insert", "insert", 19},
        WordCase{"InALineComment", "-- insert the row\ninsert", "insert", 18},
        WordCase{"InANestedBlockComment", "/* a /* insert */ insert */ insert", "insert", 28},
        WordCase{"DoubledQuotesStayInside", "'it''s insert' [a]]insert] insert", "insert", 27},
        WordCase{"EndingInABlankNeedsNoBoundaryAfter", "set identity_insert [t] on",
                 "set identity_insert ", 0},
        WordCase{"StartingWithAtSign", "x@@rowcount @@rowcount", "@@rowcount", 12},
        WordCase{"NumberBetweenSigns", "=20598, 205981 120598", "20598", 1},
        WordCase{"UnclosedCommentHidesTheRest", "/* insert", "insert", kNotFound},
        WordCase{"NotThere", "select 1", "insert", kNotFound}),
    [](const testing::TestParamInfo<WordCase>& info) { return std::string(info.param.label); });

TEST(ProcedureWords, FindsFromAndBeforeThePositionsAsked) {
  const std::string_view text = "begin end [end] end -- end\n end";
  ProcedureWords words(text);
  EXPECT_EQ(words.Find(Needle("end"), 7), 16u);
  EXPECT_EQ(words.Find(Needle("end"), 0, 6), kNotFound);  // an earlier position: read again
  EXPECT_EQ(words.Find(Needle("end"), 0, 7), 6u);
  EXPECT_EQ(words.Find(Needle("end"), 17), 28u);
  EXPECT_EQ(words.Find(Needle("begin"), 1), kNotFound);
}

// Random texts of pieces that open, close and split constructs: a word is found exactly where
// the tests' own reader reads it in code, with whole-word bounds; so also when the questions
// move back and forth. Short texts and texts of some hundred bytes, which the reading takes
// sixteen and sixty-four bytes at a time; texts of every construct, and texts of names only,
// bracketed or quoted, as most procedures are.
TEST(ProcedureWords, AgreesWithTheBatchReaderOnRandomTexts) {
  std::minstd_rand random(5);
  const std::vector<std::string_view> everyConstruct = {
      "end", "End",  "x", " ",  "_", "@", ".",  "'",  "''", "n'",   "[", "]",   "]]",
      "\"",  "\"\"", "-", "--", "/", "*", "/*", "*/", "\n", "\r\n", "(", "endx"};
  const std::vector<std::string_view> bracketedNames = {"end", " ",     "x",  "[", "]",
                                                        "]]",  "[end]", "\n", "(", "@c1"};
  const std::vector<std::string_view> quotedNames = {"end",     " ",  "x", "\"", "\"\"",
                                                     "\"end\"", "\n", ",", "@c1"};
  const Needle end("end");
  for (int round = 0; round < 40000; ++round) {
    const std::vector<std::string_view>& pieces = round % 4 == 1   ? bracketedNames
                                                  : round % 4 == 3 ? quotedNames
                                                                   : everyConstruct;
    std::string text;
    const int count = static_cast<int>(round < 20000 ? random() % 30 : 30 + random() % 150);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    std::vector<std::size_t> expected;
    for (std::size_t at = 0; at + 3 <= text.size(); ++at) {
      if (StartsWithLowerCase(std::string_view(text).substr(at), "end") &&
          IsWholeWordAt(text, at, 3) && StateAt(text, at) == LexicalState::kCode) {
        expected.push_back(at);
      }
    }
    ProcedureWords words(text);
    std::vector<std::size_t> found;
    for (std::size_t at = words.Find(end); at != kNotFound; at = words.Find(end, at + 1)) {
      found.push_back(at);
    }
    ASSERT_EQ(found, expected) << testing::PrintToString(text);
    if (!expected.empty()) {
      const std::size_t last = expected.back();
      ASSERT_EQ(words.Find(end, 0, last + 1), expected.front()) << testing::PrintToString(text);
    }
  }
}

// ---- Whole words, reserved keywords, text without code

TEST(IsWholeWordAt, NeedsNoWordByteOnEitherSide) {
  EXPECT_TRUE(IsWholeWordAt("a end;", 2, 3));
  EXPECT_FALSE(IsWholeWordAt("aend", 1, 3));
  EXPECT_FALSE(IsWholeWordAt("ends", 0, 3));
  EXPECT_FALSE(IsWholeWordAt("$end", 1, 3));
  EXPECT_TRUE(IsWholeWordAt("set x", 0, 4));  // "set " ends in a blank: the byte after is free
}

TEST(IsReservedKeyword, KnowsTheListAndOnlyIt) {
  for (const char* word :
       {"add", "key", "order", "user", "group", "file", "plan", "rule", "index", "table", "view",
        "transaction", "begin", "writetext", "identity_insert", "current_date"}) {
    EXPECT_TRUE(IsReservedKeyword(word)) << word;
  }
  for (const char* word : {"orders", "keys", "name", "date", "", "Order", "[key]", "go"}) {
    EXPECT_FALSE(IsReservedKeyword(word)) << word;
  }
}

TEST(HoldsNoCode, AllowsBlanksCommentsAndSemicolons) {
  EXPECT_TRUE(HoldsNoCode(""));
  EXPECT_TRUE(HoldsNoCode("   --\r\n\t; /* a /* b */ c */ \n-- d"));
  EXPECT_TRUE(HoldsNoCode(" /* not closed"));
  EXPECT_FALSE(HoldsNoCode("\nselect 1"));
  EXPECT_FALSE(HoldsNoCode(" /* a */ x"));
  EXPECT_FALSE(HoldsNoCode("- 1"));
}

}  // namespace

// The lexical reading of T-SQL: GO lines, the reach of an IF statement, the code search, and
// the batch reader the tests use to check scripts.
#include "rewrite/tsql.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/tsql_batches.h"

namespace {

constexpr std::string_view kCreate = "create procedure ";

std::string Name(std::string_view label) { return std::string(label); }

// ---- FindGoLine

struct GoLineCase {
  std::string_view label;
  std::string_view text;
  std::size_t letters;  // where FindGoLine finds "go"
};

class FindGoLineTest : public testing::TestWithParam<GoLineCase> {};

TEST_P(FindGoLineTest, FindsTheLettersOfTheFirstGoLine) {
  EXPECT_EQ(FindGoLine(GetParam().text), GetParam().letters)
      << testing::PrintToString(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FindGoLineTest,
    testing::Values(GoLineCase{"AtTheStart", "go\nselect 1", 0},
                    GoLineCase{"AfterALineFeed", "end\ngo\n", 4},
                    GoLineCase{"CrLf", "end\r\ngo\r\n", 5},
                    GoLineCase{"BlanksAround", "end\n \t go \t\r\nx", 7},
                    GoLineCase{"AtTheEndWithoutLineFeed", "end\ngo", 4},
                    GoLineCase{"InsideWords", "category\ncargo\nlogon\ngood\nago\n", kNotFound},
                    GoLineCase{"WordsFirstThenTheLine", "[categoryid] = 1\n  go\n", 19},
                    GoLineCase{"WithACount", "go 2\ngo;\ngo -- done\n", kNotFound},
                    GoLineCase{"AfterOtherTextOnItsLine", "select 1 go\n", kNotFound},
                    GoLineCase{"TwiceOnALine", "go go\n", kNotFound},
                    GoLineCase{"VerticalTabIsNoBlank", "\vgo\n", kNotFound},
                    GoLineCase{"ALaterOne", "x go\ngo\n", 5}, GoLineCase{"Empty", "", kNotFound},
                    GoLineCase{"OneLetter", "g", kNotFound}),
    [](const testing::TestParamInfo<GoLineCase>& info) { return Name(info.param.label); });

// Random texts of few bytes, so that lines holding "go" and blanks are frequent, against the
// batch reader's own line-by-line reading.
TEST(FindGoLine, AgreesWithTheBatchReader) {
  std::minstd_rand random(7);
  const std::vector<std::string_view> pieces = {"go", "g", "o", " ", "\t", "\r", "\n", "x"};
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    const std::vector<TsqlBatch> batches = SplitBatches(text);
    const std::size_t expected =
        batches.size() == 1 ? kNotFound : text.find("go", batches[0].text.size());
    ASSERT_EQ(FindGoLine(text), expected) << testing::PrintToString(text);
  }
}

// ---- ReadIfStatement

struct IfCase {
  std::string_view label;
  std::string_view text;
  std::optional<std::string_view> covered;  // the statement: a prefix of the text
  bool closable = true;
};

class ReadIfStatementTest : public testing::TestWithParam<IfCase> {};

TEST_P(ReadIfStatementTest, EndsWhereTheStatementEnds) {
  const IfCase& c = GetParam();
  const IfStatement statement = ReadIfStatement(c.text);
  if (!c.covered) {
    EXPECT_EQ(statement.end, kNotFound);
    EXPECT_FALSE(statement.closable);
    return;
  }
  ASSERT_TRUE(c.text.starts_with(*c.covered));
  ASSERT_NE(statement.end, kNotFound);
  EXPECT_EQ(c.text.substr(0, statement.end), *c.covered);
  EXPECT_EQ(statement.closable, c.closable);
}

// The forms of the delete procedures' row-count test, as the server versions and the tools
// that export them write it.
INSTANTIATE_TEST_SUITE_P(
    ServerLayouts, ReadIfStatementTest,
    testing::Values(
        IfCase{"Sql2000",
               "if @@rowcount = 0\n    if @@microsoftversion>0x07320000\n        exec "
               "sp_msreplraiserror 20598\n",
               "if @@rowcount = 0\n    if @@microsoftversion>0x07320000\n        exec "
               "sp_msreplraiserror 20598"},
        IfCase{"Sql2005CrLfBeforeTheProcedureEnd",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n        exec "
               "sp_msreplraiserror 20598\r\n"
               "end\r\n",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n        exec "
               "sp_msreplraiserror 20598"},
        // In an update procedure the else after "end" belongs to the enclosing "if substring".
        IfCase{"Sql2000UpdateBeforeEndElse",
               "if @@rowcount = 0\n\tif @@microsoftversion>0x07320000\n\t\texec sp_msreplraiserror "
               "20598\nend\nelse\n"
               "begin\nupdate \"t\" set \"c\" = @c2\n",
               "if @@rowcount = 0\n\tif @@microsoftversion>0x07320000\n\t\texec sp_msreplraiserror "
               "20598"},
        IfCase{"Sql2012BeginBlock",
               "if @@rowcount = 0\n    if @@microsoftversion>0x07320000\n\t\tbegin\n\t\t\t\n"
               "\t\t\tset @primarykey_text = @primarykey_text + '[id] = ' + "
               "convert(nvarchar(100),@pkc1,1)\n"
               "\t\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[airline]', "
               "@param2=@primarykey_text, @param3=13233\n\t\tend\nend  \nelse\n",
               "if @@rowcount = 0\n    if @@microsoftversion>0x07320000\n\t\tbegin\n\t\t\t\n"
               "\t\t\tset @primarykey_text = @primarykey_text + '[id] = ' + "
               "convert(nvarchar(100),@pkc1,1)\n"
               "\t\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[airline]', "
               "@param2=@primarykey_text, @param3=13233\n\t\tend"},
        IfCase{"Sql2014ExistsTestWithElse",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tbegin\r\n"
               "\t\t\tif exists (select * from sys.all_parameters where object_id = "
               "object_id('sp_msreplraiserror') and [name] = '@param3')\r\n\t\t\tbegin\r\n\r\n"
               "\t\t\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[t]', "
               "@param2=@primarykey_text, "
               "@param3=13234\r\n\t\t\tend\r\n\t\t\telse\r\n\t\t\t\texec sp_msreplraiserror "
               "@errorid=20598\r\n"
               "\t\tend\r\nend\r\n",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tbegin\r\n"
               "\t\t\tif exists (select * from sys.all_parameters where object_id = "
               "object_id('sp_msreplraiserror') and [name] = '@param3')\r\n\t\t\tbegin\r\n\r\n"
               "\t\t\t\texec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[t]', "
               "@param2=@primarykey_text, "
               "@param3=13234\r\n\t\t\tend\r\n\t\t\telse\r\n\t\t\t\texec sp_msreplraiserror "
               "@errorid=20598\r\n"
               "\t\tend"},
        IfCase{"BeginBlockRightAfterTheTest",
               "if @@rowcount = 0\nbegin\n    if @@microsoftversion>0x07320000\n    begin\n"
               "        exec sp_msreplraiserror @errorid=20598, @param1=@procname\n    "
               "end\nend\nend\n",
               "if @@rowcount = 0\nbegin\n    if @@microsoftversion>0x07320000\n    begin\n"
               "        exec sp_msreplraiserror @errorid=20598, @param1=@procname\n    end\nend"},
        // Peer-to-peer procedures return instead of raising the error.
        IfCase{"PeerToPeerReturn", "if @@rowcount = 0\r\n\treturn\r\nend\r\n",
               "if @@rowcount = 0\r\n\treturn"},
        // An export that joined lines: the procedure's end and a comment share the line.
        IfCase{"SqueezedExecEnd",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n"
               "        exec sp_msreplraiserror 20598 end    --\r\n",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n        exec "
               "sp_msreplraiserror 20598"},
        IfCase{"SqueezedEndEnd",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tbegin\r\n"
               "\t\t\texec sp_msreplraiserror @errorid=20598\r\n\t\tend end    --\r\n",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tbegin\r\n"
               "\t\t\texec sp_msreplraiserror @errorid=20598\r\n\t\tend"},
        IfCase{"SqueezedEndEndElse",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tbegin\r\n"
               "\t\t\texec sp_msreplraiserror @errorid=20598\r\n\t\tend end   else\r\nbegin  "
               "update [dbo].[t] set\r\n",
               "if @@rowcount = 0\r\n    if @@microsoftversion>0x07320000\r\n\t\tbegin\r\n"
               "\t\t\texec sp_msreplraiserror @errorid=20598\r\n\t\tend"},
        // Written by hand: semicolons, arguments over several lines, blanks around "=".
        IfCase{"SemicolonsAndArgumentsOverLines",
               "if @@rowcount = 0 and @@microsoftversion > 0x07320000\n    begin\n"
               "        exec sp_msreplraiserror\n            @errorid = 20598,\n"
               "            @param1 = n'[warehouse].[stockitems]';\n    end;\nend\n",
               "if @@rowcount = 0 and @@microsoftversion > 0x07320000\n    begin\n"
               "        exec sp_msreplraiserror\n            @errorid = 20598,\n"
               "            @param1 = n'[warehouse].[stockitems]';\n    end;"},
        // A script that went through the rewrite once: the old closing marker follows.
        IfCase{"RewrittenBefore",
               "if @@rowcount = 0\n    if @@microsoftversion>0x07320000\n        exec "
               "sp_msreplraiserror 20598 -d-*/\n"
               " \n \nend\n",
               "if @@rowcount = 0\n    if @@microsoftversion>0x07320000\n        exec "
               "sp_msreplraiserror 20598"}),
    [](const testing::TestParamInfo<IfCase>& info) { return Name(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Statements, ReadIfStatementTest,
    testing::Values(
        IfCase{"EndsWithTheText", "if @@rowcount = 0 exec sp_x 20598",
               "if @@rowcount = 0 exec sp_x 20598"},
        IfCase{"ExecuteWithReturnCodeAndOutput",
               "if @x = 1 execute @rc = dbo.[sp_x] @a = @b output, -1, 'z' out\nselect 1",
               "if @x = 1 execute @rc = dbo.[sp_x] @a = @b output, -1, 'z' out"},
        IfCase{"ExecWithoutArguments", "if @x = 1 exec sp_x\nselect 1", "if @x = 1 exec sp_x"},
        IfCase{"ExecOfAnExpression", "if @x = 1 exec ('select ' + @c) else print 1\nx",
               "if @x = 1 exec ('select ' + @c) else print 1"},
        IfCase{"ElseTakesOneMoreStatement",
               "if @@rowcount = 0\n    exec sp_x 1\nelse\n    exec sp_y 20598\nend",
               "if @@rowcount = 0\n    exec sp_x 1\nelse\n    exec sp_y 20598"},
        IfCase{"ElseBindsToTheInnermostIf",
               "if @a = 1 if @b = 1 print 'a'\nelse print 'b'\nelse print 'c'\nprint 'd'",
               "if @a = 1 if @b = 1 print 'a'\nelse print 'b'\nelse print 'c'"},
        IfCase{"ElseIf", "if @a = 1 return\nelse if @b = 1 return\nelse return\nprint 1",
               "if @a = 1 return\nelse if @b = 1 return\nelse return"},
        IfCase{"StatementWordsInsideParenthesesAreCondition",
               "if exists (select 1 from t where c = 'begin') and (@x in (select 2)) begin select "
               "1 end end",
               "if exists (select 1 from t where c = 'begin') and (@x in (select 2)) begin select "
               "1 end"},
        IfCase{"CaseEndInsideBegin",
               "if @@rowcount = 0\nbegin\n set @x = case when @y = 1 then 1 else 2 end\n exec sp_x "
               "20598\nend\nend",
               "if @@rowcount = 0\nbegin\n set @x = case when @y = 1 then 1 else 2 end\n exec sp_x "
               "20598\nend"},
        IfCase{"QuotedWordsAreNoKeywords",
               "if @@rowcount = 0 begin print 'end' select [end], \"end\" end\nend",
               "if @@rowcount = 0 begin print 'end' select [end], \"end\" end"},
        IfCase{"ParenthesesCarryALineOn",
               "if @@rowcount = 0\n    raiserror (\n        'x', 16, 1)\n    with log\nend",
               "if @@rowcount = 0\n    raiserror (\n        'x', 16, 1)"},
        IfCase{"StringsAndNamesCarryALineOn",
               "if @@rowcount = 0 print 'two\nlines' + [a\nb] /* and */ + 'x'\nend",
               "if @@rowcount = 0 print 'two\nlines' + [a\nb] /* and */ + 'x'"},
        // A line feed inside a block comment ends the line as one in code does.
        IfCase{"LineFeedInABlockCommentEndsTheLine",
               "if @@rowcount = 0 print 'a\nb' + 20598 /* c\n */ print 'x'\nend",
               "if @@rowcount = 0 print 'a\nb' + 20598"},
        IfCase{"SemicolonAfterALine", "if @@rowcount = 0 return\n;\nend",
               "if @@rowcount = 0 return\n;"},
        IfCase{"CommentsInTheCondition",
               "if @@rowcount = 0 -- begin\n /* exec */ exec sp_x 20598 end",
               "if @@rowcount = 0 -- begin\n /* exec */ exec sp_x 20598"},
        IfCase{"TrailingCommentStaysOutside", "if @@rowcount = 0 return -- done */\nend",
               "if @@rowcount = 0 return"},
        IfCase{"NestedCommentInside", "if @@rowcount = 0 /* a /* b */ c */ exec sp_x 20598\nend",
               "if @@rowcount = 0 /* a /* b */ c */ exec sp_x 20598"},
        IfCase{"NoBlanksAroundSigns", "if @@microsoftversion>0x07320000 exec sp_x 20598;end",
               "if @@microsoftversion>0x07320000 exec sp_x 20598;"}),
    [](const testing::TestParamInfo<IfCase>& info) { return Name(info.param.label); });

// A block comment around these statements would close early (or never): the rewrite must
// leave them as they are.
INSTANTIATE_TEST_SUITE_P(
    NotClosable, ReadIfStatementTest,
    testing::Values(IfCase{"CloserInAString",
                           "if @@rowcount = 0 begin print '*/' exec sp_x 20598 end",
                           "if @@rowcount = 0 begin print '*/' exec sp_x 20598 end", false},
                    IfCase{"OpenerInAnNString", "if @@rowcount = 0 exec sp_x 20598, n'/*'\nend",
                           "if @@rowcount = 0 exec sp_x 20598, n'/*'", false},
                    IfCase{"OpenerInALineComment",
                           "if @@rowcount = 0 begin -- /* old\n exec sp_x 20598 end",
                           "if @@rowcount = 0 begin -- /* old\n exec sp_x 20598 end", false},
                    IfCase{"CloserInAName", "if @@rowcount = 0 select [a*/b]\nend",
                           "if @@rowcount = 0 select [a*/b]", false},
                    IfCase{"CloserInCode", "if @@rowcount = 0 select 4*/2\nend",
                           "if @@rowcount = 0 select 4*/2", false}),
    [](const testing::TestParamInfo<IfCase>& info) { return Name(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    NoEndInTheText, ReadIfStatementTest,
    testing::Values(
        IfCase{"BeginWithoutEnd", "if @@rowcount = 0 begin exec sp_x 20598\n", std::nullopt},
        IfCase{"UnclosedString", "if @@rowcount = 0 print 'abc\n", std::nullopt},
        IfCase{"UnclosedName", "if @@rowcount = 0 exec [sp_x 20598\n", std::nullopt},
        IfCase{"UnclosedComment", "if @@rowcount = 0 /* exec sp_x 20598\n", std::nullopt},
        IfCase{"UnclosedParenthesis", "if @@rowcount = 0 raiserror('x', 16\n", std::nullopt},
        IfCase{"ConditionOnly", "if @@rowcount = 0\n", std::nullopt},
        IfCase{"ExecWithoutName", "if @@rowcount = 0 exec\nend", std::nullopt},
        IfCase{"CommaWithoutArgument", "if @@rowcount = 0 exec sp_x 1,\nend", std::nullopt},
        IfCase{"ElseWithoutStatement", "if @@rowcount = 0 return\nelse\nend", std::nullopt},
        IfCase{"NotAnIf", "iffy = 1", std::nullopt},
        IfCase{"BlankFirst", " if @x = 1 return", std::nullopt}, IfCase{"Empty", "", std::nullopt}),
    [](const testing::TestParamInfo<IfCase>& info) { return Name(info.param.label); });

// IFs nest as deep as the text goes, and what follows the innermost statement is read once,
// not once for each IF.
TEST(ReadIfStatement, DeepNestingNeitherOverflowsNorRepeats) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "if 1=1 ";
  text += "return";
  const std::size_t end = text.size();
  text += "\n/*" + std::string(1 << 20, 'x') + "*/ select 1";
  const IfStatement statement = ReadIfStatement(text);
  EXPECT_EQ(statement.end, end);
  EXPECT_TRUE(statement.closable);
}

// Random statements: whatever the reading says, a statement it calls closable stays inside one
// block comment, from its first byte to its last, and ends after a token in code.
TEST(ReadIfStatement, ClosableStatementsStayInsideOneComment) {
  std::minstd_rand random(5);
  const std::vector<std::string_view> pieces = {"if ",     "@@rowcount = 0 ",
                                                "begin ",  "end ",
                                                "case ",   "else ",
                                                "exec ",   "sp_x ",
                                                "@a = ",   "20598",
                                                " output", ",",
                                                ";",       "(",
                                                ")",       "\n",
                                                " ",       "'a'",
                                                "'/*'",    "'*/'",
                                                "n'x'",    "[n]",
                                                "[*/]",    "\"q\"",
                                                "-- x\n",  "-- /*\n",
                                                "/* c */", "/* /* */ */",
                                                "*/",      "/",
                                                "*",       "-",
                                                "return ", "print 1 ",
                                                "'",       "["};
  int closable = 0;
  for (int round = 0; round < 50000; ++round) {
    std::string text = "if ";
    const int count = static_cast<int>(random() % 16);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    const IfStatement statement = ReadIfStatement(text);
    if (statement.end == kNotFound) continue;
    ASSERT_LE(statement.end, text.size()) << testing::PrintToString(text);
    const std::string_view covered = std::string_view(text).substr(0, statement.end);
    ASSERT_EQ(StateAfter(covered), LexicalState::kCode) << testing::PrintToString(text);
    if (!statement.closable) continue;
    ++closable;
    const std::string wrapped = "/*-D- " + std::string(covered) + " -D-*/";
    for (std::size_t at = 2; at + 2 < wrapped.size(); ++at) {
      ASSERT_EQ(StateAt(wrapped, at), LexicalState::kBlockComment)
          << testing::PrintToString(text) << " at " << at;
    }
    ASSERT_EQ(StateAt(wrapped, wrapped.size()), LexicalState::kCode)
        << testing::PrintToString(text);
  }
  EXPECT_GT(closable, 1000);
}

// ---- The lexical state and the code search

struct StateCase {
  std::string_view label;
  std::string_view text;
  LexicalState state;
};

class StateAfterTest : public testing::TestWithParam<StateCase> {};

TEST_P(StateAfterTest, ReadsToTheEnd) {
  EXPECT_EQ(StateAfter(GetParam().text), GetParam().state);
  EXPECT_EQ(StateAt(GetParam().text, GetParam().text.size()), GetParam().state)
      << "the batch reader";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StateAfterTest,
    testing::Values(StateCase{"Code", "select 1 - 2 / 3 * 4 */", LexicalState::kCode},
                    StateCase{"LineComment", "select 1 -- x", LexicalState::kLineComment},
                    StateCase{"LineCommentEnded", "select 1 -- x /* '\n", LexicalState::kCode},
                    StateCase{"NestedComment", "/* a /* b */ c", LexicalState::kBlockComment},
                    StateCase{"NestedCommentClosed", "/* a /* b */ c */", LexicalState::kCode},
                    StateCase{"SlashStarSlash", "/*/ x", LexicalState::kBlockComment},
                    StateCase{"StarSlashStar", "/* x */* y", LexicalState::kCode},
                    StateCase{"CommentHidesQuote", "/* don't */", LexicalState::kCode},
                    StateCase{"String", "print 'a -- /* b", LexicalState::kString},
                    StateCase{"DoubledQuote", "print 'it''s'", LexicalState::kCode},
                    StateCase{"DoubledQuoteOpen", "print 'it''", LexicalState::kString},
                    StateCase{"NString", "print n'x", LexicalState::kString},
                    StateCase{"BracketName", "select [a ]] b", LexicalState::kBracketName},
                    StateCase{"BracketNameClosed", "select [a ]] b]", LexicalState::kCode},
                    StateCase{"QuotedName", "select \"a \"\" b", LexicalState::kQuotedName},
                    StateCase{"GoLineClosesAComment", "/* a\ngo\nselect 1", LexicalState::kCode},
                    StateCase{"GoLineClosesAString", "print 'a\r\n  go \r\nselect 1",
                              LexicalState::kCode},
                    StateCase{"GoLineClosesNesting", "/* /* /*\ngo\n", LexicalState::kCode},
                    StateCase{"GoInsideAWordClosesNothing", "/* category\ncargo\n",
                              LexicalState::kBlockComment},
                    StateCase{"GoAfterTextClosesNothing", "'a\nx go\n", LexicalState::kString},
                    StateCase{"LoneDashAtTheEnd", "select 1 -", LexicalState::kCode},
                    StateCase{"Empty", "", LexicalState::kCode}),
    [](const testing::TestParamInfo<StateCase>& info) { return Name(info.param.label); });

// Offsets of the matches of `search` from the start of `script` on, each call starting one
// byte after the previous match.
std::vector<std::size_t> AllMatches(std::string_view script, CodeSearch& search) {
  std::vector<std::size_t> matches;
  for (std::size_t from = 0; from <= script.size();) {
    const std::size_t match = search.In(script.substr(from));
    if (match == kNotFound) break;
    matches.push_back(from + match);
    from += match + 1;
  }
  return matches;
}

// The offsets of the occurrences of `needle` in `script` whose numbers (0 for the first) are
// listed.
std::vector<std::size_t> Occurrences(std::string_view script, std::string_view needle,
                                     const std::vector<int>& numbers) {
  std::vector<std::size_t> all;
  for (std::size_t at = script.find(needle); at != kNotFound; at = script.find(needle, at + 1))
    all.push_back(at);
  std::vector<std::size_t> listed;
  for (const int number : numbers) listed.push_back(all.at(static_cast<std::size_t>(number)));
  return listed;
}

struct CodeCase {
  std::string_view label;
  std::string_view script;
  std::vector<int> inCode;  // which occurrences of "create procedure " stand in code
};

class CodeSearchTest : public testing::TestWithParam<CodeCase> {};

TEST_P(CodeSearchTest, FindsTheKeywordOnlyInCode) {
  CodeSearch search(GetParam().script, kCreate);
  EXPECT_EQ(AllMatches(GetParam().script, search),
            Occurrences(GetParam().script, kCreate, GetParam().inCode));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, CodeSearchTest,
    testing::Values(
        CodeCase{"Plain", "create procedure a\ngo\ncreate procedure b\ngo\n", {0, 1}},
        CodeCase{"LineComment", "-- create procedure a\ncreate procedure b\n", {1}},
        CodeCase{"NestedBlockComment",
                 "/* old: /* create procedure a */ create procedure b\n*/\ncreate procedure c",
                 {2}},
        CodeCase{"StringWithDoubledQuotes",
                 "exec ('it''s create procedure a'' ok') create procedure b",
                 {1}},
        CodeCase{"NString",
                 "exec sp_executesql n'create procedure [sp_msins_dboa] as select ''create "
                 "procedure x'''\n"
                 "go\ncreate procedure [sp_msins_dbob]",
                 {2}},
        CodeCase{"BracketName", "select [create procedure ]] a] create procedure b", {1}},
        CodeCase{"QuotedName", "select \"create procedure \"\" a\" create procedure b", {1}},
        CodeCase{"GoLineEndsAnUnclosedComment",
                 "/* create procedure a\r\ngo\r\ncreate procedure b\r\n",
                 {1}},
        CodeCase{"GoLineEndsAnUnclosedString",
                 "print 'create procedure a\ngo\ncreate procedure b\n",
                 {1}},
        CodeCase{"GoInsideAWordEndsNothing",
                 "/* category\ncargo\ncreate procedure a */ create procedure b",
                 {1}},
        CodeCase{"OpenersInsideOthers",
                 "-- it's\n/* [ \" */ print '/* -- [' create procedure a\n[--] create procedure b",
                 {0, 1}},
        CodeCase{"LoneDashesAndSlashes",
                 "select 1-2/3 create procedure a -/ create procedure b",
                 {0, 1}},
        CodeCase{"UnclosedAtTheEnd", "create procedure a\n/* create procedure b", {0}},
        CodeCase{"None", "select 1", {}}),
    [](const testing::TestParamInfo<CodeCase>& info) { return Name(info.param.label); });

// A caller that skips over text it has consumed still gets answers read from the script's
// start: the reader reads the skipped bytes.
TEST(CodeSearch, ReadsTheTextThatCallersSkip) {
  const std::string_view script =
      "create procedure a as print 'x\n"  // a string opens inside the first procedure
      "create procedure not_one\n"
      "' create procedure b\n";
  CodeSearch search(script, kCreate);
  EXPECT_EQ(search.In(script), 0u);
  const std::size_t skipTo = script.find("not_one");  // past a keyword, inside the string
  EXPECT_EQ(search.In(script.substr(skipTo)), script.find("create procedure b") - skipTo);
  // The same view again gives the same answer; a view past it finds nothing more.
  EXPECT_EQ(search.In(script.substr(skipTo)), script.find("create procedure b") - skipTo);
  EXPECT_EQ(search.In(script.substr(script.size() - 1)), kNotFound);
}

TEST(CodeSearch, ViewsThatStartEarlierOrEndEarly) {
  const std::string_view script =
      "create procedure a\n/* create procedure x */ create procedure b\n";
  const std::size_t b = script.find("create procedure b");
  CodeSearch search(script, kCreate);
  EXPECT_EQ(search.In(script.substr(1)), b - 1);
  EXPECT_EQ(search.In(script), 0u);  // an earlier start: read again from the script's start
  EXPECT_EQ(search.In(script.substr(1, b + 4)), kNotFound) << "the match must lie inside the view";
  EXPECT_EQ(search.In(script.substr(1)), b - 1);
}

// Random scripts of pieces that open, close and split, in either case, against the batch
// reader, reading with one view after each match and with views that skip ahead.
TEST(CodeSearch, AgreesWithTheBatchReaderOnRandomScripts) {
  std::minstd_rand random(3);
  const std::vector<std::string_view> pieces = {"create procedure ",
                                                "'",
                                                "''",
                                                "n'",
                                                "[",
                                                "]",
                                                "]]",
                                                "\"",
                                                "-",
                                                "--",
                                                "/",
                                                "*",
                                                "/*",
                                                "*/",
                                                "\n",
                                                "\r\n",
                                                "\ngo\n",
                                                "\n go\r\n",
                                                "go",
                                                " ",
                                                "x",
                                                "category",
                                                "CREATE PROCEDURE ",
                                                "N'",
                                                "\nGO\n",
                                                "\r\nGo\r\n",
                                                "CATEGORY"};
  for (int round = 0; round < 20000; ++round) {
    std::string script;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) script += pieces[random() % pieces.size()];
    const std::string lower = LowerCased(script);
    std::vector<std::size_t> inCode;
    for (std::size_t at = lower.find(kCreate); at != kNotFound; at = lower.find(kCreate, at + 1)) {
      if (StateAt(script, at) == LexicalState::kCode) inCode.push_back(at);
    }
    CodeSearch search(script, kCreate);
    ASSERT_EQ(AllMatches(script, search), inCode) << testing::PrintToString(script);

    CodeSearch skipping(script, kCreate);
    for (std::size_t from = 0; from <= script.size(); from += 1 + random() % 12) {
      const auto next = std::lower_bound(inCode.begin(), inCode.end(), from);
      const std::size_t expected = next == inCode.end() ? kNotFound : *next - from;
      ASSERT_EQ(skipping.In(std::string_view(script).substr(from)), expected)
          << testing::PrintToString(script) << " from " << from;
    }

    ASSERT_EQ(StateAfter(script), StateAt(script, script.size())) << testing::PrintToString(script);
    std::size_t batchEnd = 0;
    for (const TsqlBatch& batch : SplitBatches(script)) {
      batchEnd = static_cast<std::size_t>(batch.text.data() - script.data()) + batch.text.size();
      ASSERT_EQ(StateAfter(std::string_view(script).substr(0, batchEnd)), batch.end)
          << testing::PrintToString(script) << " up to " << batchEnd;
    }
  }
}

// ---- The batch reader of the tests

struct BatchCase {
  std::string_view label;
  std::string_view script;
  std::vector<std::pair<std::string_view, LexicalState>> batches;
};

class SplitBatchesTest : public testing::TestWithParam<BatchCase> {};

TEST_P(SplitBatchesTest, SplitsAtGoLines) {
  std::vector<std::pair<std::string_view, LexicalState>> batches;
  for (const TsqlBatch& batch : SplitBatches(GetParam().script))
    batches.emplace_back(batch.text, batch.end);
  EXPECT_EQ(batches, GetParam().batches);
}

constexpr LexicalState kCode = LexicalState::kCode;

INSTANTIATE_TEST_SUITE_P(
    Scripts, SplitBatchesTest,
    testing::Values(
        BatchCase{"NoGoLine", "select 1\n", {{"select 1\n", kCode}}},
        BatchCase{"FinalGoLine", "select 1\r\ngo\r\n", {{"select 1\r\n", kCode}, {"", kCode}}},
        BatchCase{"GoWithoutLineEnd", "a\n go ", {{"a\n", kCode}, {"", kCode}}},
        BatchCase{"GoFirst", "go\nb", {{"", kCode}, {"b", kCode}}},
        BatchCase{"GoInsideWordsSplitsNothing",
                  "category\ncargo\ngo;\n",
                  {{"category\ncargo\ngo;\n", kCode}}},
        BatchCase{"CommentSplitByGo",
                  "/* a\ngo\nb */\n",
                  {{"/* a\n", LexicalState::kBlockComment}, {"b */\n", kCode}}},
        BatchCase{"StringSplitByGo",
                  "print 'a\ngo\n'",
                  {{"print 'a\n", LexicalState::kString}, {"'", LexicalState::kString}}},
        BatchCase{"Names",
                  "[a\ngo\n\"b\ngo\n",
                  {{"[a\n", LexicalState::kBracketName},
                   {"\"b\n", LexicalState::kQuotedName},
                   {"", kCode}}},
        BatchCase{"LineCommentAtTheEnd", "a --x", {{"a --x", LexicalState::kLineComment}}},
        BatchCase{"Empty", "", {{"", kCode}}}),
    [](const testing::TestParamInfo<BatchCase>& info) { return Name(info.param.label); });

TEST(SplitBatches, EndsOpenOnlyInsideCommentsStringsAndNames) {
  EXPECT_FALSE(EndsOpen({"", LexicalState::kCode}));
  EXPECT_FALSE(EndsOpen({"", LexicalState::kLineComment}));
  EXPECT_TRUE(EndsOpen({"", LexicalState::kBlockComment}));
  EXPECT_TRUE(EndsOpen({"", LexicalState::kString}));
  EXPECT_TRUE(EndsOpen({"", LexicalState::kBracketName}));
  EXPECT_TRUE(EndsOpen({"", LexicalState::kQuotedName}));
}

TEST(StateAt, TellsTheStateOfEachByte) {
  const std::string_view script = "a'b'--c\n/*d*/[e]\ngo\n\"f";
  const std::vector<std::pair<char, LexicalState>> expected = {{'a', kCode},
                                                               {'b', LexicalState::kString},
                                                               {'c', LexicalState::kLineComment},
                                                               {'d', LexicalState::kBlockComment},
                                                               {'e', LexicalState::kBracketName},
                                                               {'g', kCode},
                                                               {'f', LexicalState::kQuotedName}};
  for (const auto& [byte, state] : expected) {
    EXPECT_EQ(StateAt(script, script.find(byte)), state) << byte;
  }
}

}  // namespace

// Substring search over the script buffer, and the forward search that keeps its answer.
#include "rewrite/search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// The oracle: std::string's find in the text with A-Z lower-cased.
std::size_t FindInLowerCased(const std::string& text, const std::string& needle) {
  std::string lower = text;
  for (char& byte : lower) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return lower.find(needle);
}

TEST(FindText, FindsTheFirstOccurrenceInTheLowerCasedText) {
  const struct {
    std::string text;
    std::string needle;
  } cases[] = {
      {"create procedure [x]", "create procedure "},  // at the start
      {"xx go", "go"},                                // at the very end
      {"g", "go"},                                    // needle longer than the text
      {"", "go"},
      {"abc", ""},
      {"", ""},
      {"uuuuuu", "uuu"},                                             // overlapping candidates
      {"if @@rowcount = 1 if @@rowcount = 0", "if @@rowcount = 0"},  // rare byte matches first
      {"20598205982059", "20598"},
      {"\r\n\r\r\n\r\n", "\r\n\r\n"},
      {"n\xe9\xe9 caf\xe9", "\xe9 c"},  // bytes of no rank are the rarest
      {std::string("a\0b\0c", 5), std::string("\0c", 2)},
      {"categoryid", "gory"},
      {"no match here", "procedure"},
      {"CREATE PROCEDURE [x]", "create procedure "},  // either case, or both
      {"Create Procedure [x]", "create procedure "},
      {"x\nGo\r\n", "go"},
      {"IF @@ROWCOUNT = 0", "if @@rowcount = 0"},
      {"\xc9 \xe9 c", "\xe9 c"},  // only A-Z have two cases
      {"@[` {", "` {"},           // the bytes that differ from @ and [ in the case bit alone
      {"[X] `x`", "`x`"},
      {"SET", "s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.needle), FindInLowerCased(c.text, c.needle))
        << testing::PrintToString(c.text) << " / " << testing::PrintToString(c.needle);
  }
}

// Random texts over a small alphabet, so that candidates of every needle byte are frequent:
// needles of rare bytes ("9", "58"), of frequent ones only ("go", CR LF) and of letters in
// texts of both cases, in texts long enough to be searched block by block, each also with a
// window of its own choosing.
TEST(FindText, AgreesWithFindInTheLowerCasedTextOnRandomTexts) {
  std::minstd_rand random(11);
  const std::string needleBytes = "go \r\n20598u`{";
  const std::string textBytes = needleBytes + "GOU@[";
  for (int round = 0; round < 20000; ++round) {
    std::string text, needle;
    const int textLength = static_cast<int>(random() % 300);
    const int needleLength = 1 + static_cast<int>(random() % 5);
    for (int i = 0; i < textLength; ++i) text += textBytes[random() % textBytes.size()];
    for (int i = 0; i < needleLength; ++i) needle += needleBytes[random() % needleBytes.size()];
    const std::size_t windowAt = random() % needle.size();
    const std::size_t windowBytes = 1 + random() % (needle.size() - windowAt);
    ASSERT_EQ(FindText(text, Needle(needle, windowAt, windowBytes)), FindInLowerCased(text, needle))
        << testing::PrintToString(text) << " / " << testing::PrintToString(needle) << " at "
        << windowAt;
    ASSERT_EQ(FindText(text, needle), FindInLowerCased(text, needle))
        << testing::PrintToString(text) << " / " << testing::PrintToString(needle);
  }
}

TEST(ForwardSearch, KeepsItsAnswerWhileItLiesAhead) {
  const std::string_view script = "create a go create b go create c";
  ForwardSearch search("create c");
  EXPECT_EQ(search.In(script), 24u);
  EXPECT_EQ(search.In(script.substr(10)), 14u);  // the same match, seen from further on
  EXPECT_EQ(search.In(script.substr(24)), 0u);
  EXPECT_EQ(search.In(script.substr(25)), kNotFound);  // past the match: searched afresh
  EXPECT_EQ(search.In(script), 24u);                   // an earlier start: searched afresh
}

TEST(ForwardSearch, KeepsANotFoundAnswer) {
  const std::string_view script = "create a go create b go";
  ForwardSearch search("set identity_insert ");
  EXPECT_EQ(search.In(script), kNotFound);
  EXPECT_EQ(search.In(script.substr(12)), kNotFound);
}

}  // namespace

// Names folded as case-insensitive collations compare them, with the platform's case mapping:
// the same key for names that differ only in the case of their letters, beyond ASCII too.
#include "io/text_fold.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FoldCase {
  const char* label;
  std::string name;
  std::string folded;
};

void PrintTo(const FoldCase& c, std::ostream* os) { *os << c.label; }

class CaseFolded : public testing::TestWithParam<FoldCase> {};

TEST_P(CaseFolded, FoldsEveryLetter) {
  EXPECT_EQ(CaseFoldedName(GetParam().name), GetParam().folded);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CaseFolded,
    testing::Values(FoldCase{"Ascii", "Order_Details$1", "order_details$1"},
                    FoldCase{"Empty", "", ""}, FoldCase{"Umlaut", "M\xC3\x9CNZE", "m\xC3\xBCnze"},
                    FoldCase{"UmlautAfterAsciiLowerCasing", "m\xC3\x9Cnze", "m\xC3\xBCnze"},
                    FoldCase{"Greek",
                             "\xCE\xA3\xCE\xA4\xCE\x9F\xCE\x99\xCE\xA7\xCE\x95\xCE\x99\xCE\x9F",
                             "\xCF\x83\xCF\x84\xCE\xBF\xCE\xB9\xCF\x87\xCE\xB5\xCE\xB9\xCE\xBF"},
                    FoldCase{"SharpSStays",
                             "stra\xC3\x9F"
                             "e",
                             "stra\xC3\x9F"
                             "e"},
                    FoldCase{"Cyrillic", "\xD0\xA2\xD0\x90\xD0\x91", "\xD1\x82\xD0\xB0\xD0\xB1"},
                    FoldCase{"BeyondTheBasicPlane", "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"}),
    [](const testing::TestParamInfo<FoldCase>& info) { return std::string(info.param.label); });

// Text that is not UTF-8 is read in the system's narrow code page where there is one (Windows'
// ANSI code page) and keeps its bytes from 0x80 elsewhere: either way its ASCII letters are
// lower-cased and the same bytes give the same key.
TEST(CaseFoldedName, ReadsTextThatIsNotUtf8AsTheSystemDoes) {
  const std::string latin1 = CaseFoldedName("M\xDCNZE");
  EXPECT_EQ(latin1, CaseFoldedName("m\xDCnze"));
  EXPECT_EQ(latin1.front(), 'm');
  EXPECT_NE(latin1.find("nze"), std::string::npos) << latin1;
  EXPECT_EQ(CaseFoldedName("A\xFF"
                           "B"),
            CaseFoldedName("a\xFF"
                           "b"));
}

}  // namespace

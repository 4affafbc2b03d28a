// The C library's case mapping (glibc under C.UTF-8) folds the letters that only Unicode's
// simple case folding, not plain lower-casing, brings together; Windows' own mapping, as Wine
// has it, leaves these as they are.
#include <gtest/gtest.h>

#include "io/text_fold.h"

namespace {

TEST(CaseFoldedName, FoldsWhatOnlyCaseFoldingBringsTogether) {
  EXPECT_EQ(CaseFoldedName("\xCF\x82"), "\xCF\x83");      // final sigma: sigma
  EXPECT_EQ(CaseFoldedName("\xC2\xB5"), "\xCE\xBC");      // micro sign: mu
  EXPECT_EQ(CaseFoldedName("\xC5\xBF"), "s");             // long s
  EXPECT_EQ(CaseFoldedName("\xE1\xBA\x9E"), "\xC3\x9F");  // capital sharp s
  // Upper case first: the dotless and the dotted I meet i, where simple folding keeps them.
  EXPECT_EQ(CaseFoldedName("\xC4\xB1"), "i");
  EXPECT_EQ(CaseFoldedName("\xC4\xB0"), "i");
}

}  // namespace

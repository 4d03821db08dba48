#include "Splittok.h"

#include <gtest/gtest.h>

#include "support/FakePlatform.h"
#include "support/Text.h"

namespace extmerge {
namespace {

struct SplitCase {
  const char* text;
  std::vector<std::string> dropping_empty;
  std::vector<std::string> keeping_empty;
};

class SplitTokensTest : public ::testing::TestWithParam<SplitCase> {
 protected:
  test::AsciiFoldCollation fold_;
};

TEST_P(SplitTokensTest, CommaTable) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitTokens(c.text, ",", false, fold_)->Texts(), c.dropping_empty);
  EXPECT_EQ(SplitTokens(c.text, ",", true, fold_)->Texts(), c.keeping_empty);
  EXPECT_EQ(SplitString(c.text, ",", fold_)->Texts(), c.dropping_empty);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitTokensTest,
    ::testing::Values(SplitCase{"a,b", {"a", "b"}, {"a", "b"}},
                      SplitCase{",a,,b,", {"a", "b"}, {"", "a", "", "b"}},
                      SplitCase{"\"a,b\",c", {"\"a,b\"", "c"}, {"\"a,b\"", "c"}},
                      // Text before an opening quote stays in the token.
                      SplitCase{"x\"a,b\"y,z", {"x\"a,b\"y", "z"}, {"x\"a,b\"y", "z"}},
                      // A quote that is never closed is an ordinary byte.
                      SplitCase{"\"abc", {"\"abc"}, {"\"abc"}},
                      SplitCase{"\"a,b", {"\"a", "b"}, {"\"a", "b"}},
                      SplitCase{"\"a\",\"b,c", {"\"a\"", "\"b", "c"}, {"\"a\"", "\"b", "c"}},
                      SplitCase{"a\"\",b", {"a\"\"", "b"}, {"a\"\"", "b"}}, SplitCase{"", {}, {}},
                      SplitCase{",", {}, {""}},
                      SplitCase{" a , b ", {" a ", " b "}, {" a ", " b "}}));

TEST(SplitTokens, EveryByteOfTheSetDelimitsAndDoubleByteTextPassesWhole) {
  test::AsciiFoldCollation fold;
  EXPECT_EQ(SplitTokens("a;b,c;;d", ";,", false, fold)->Texts(),
            (std::vector<std::string>{"a", "b", "c", "d"}));
  const std::string text = test::J("表示,ソ\"フ,ト\"");
  EXPECT_EQ(SplitString(text, ",", fold)->Texts(),
            (std::vector<std::string>{test::J("表示"), test::J("ソ\"フ,ト\"")}));
}

TEST(AddToken, PositionIsOneBasedAndZeroGivesAnEmptyToken) {
  test::AsciiFoldCollation fold;
  TStringList list(fold);
  AddToken(list, "hello", 2, 3);
  AddToken(list, "hello", 0, 3);
  AddToken(list, "hello", 5, 1);
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"ell", "", "o"}));
}

}  // namespace
}  // namespace extmerge

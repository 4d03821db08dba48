#include "main/CommandLine.h"

#include <gtest/gtest.h>

namespace extmerge {
namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> expected;  // parameters after the program name
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, Parameters) {
  std::vector<std::string> all = SplitCommandLine(GetParam().line);
  ASSERT_FALSE(all.empty());
  std::vector<std::string> params(all.begin() + 1, all.end());
  EXPECT_EQ(params, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitCommandLineTest,
    ::testing::Values(SplitCase{"tool.exe", {}}, SplitCase{"tool.exe Key", {"Key"}},
                      SplitCase{"tool.exe   Key  ", {"Key"}}, SplitCase{"tool.exe A B", {"A", "B"}},
                      SplitCase{"\"C:\\Program Files\\tool.exe\" Key", {"Key"}},
                      SplitCase{"tool.exe \"My Key\"", {"My Key"}},
                      SplitCase{"tool.exe My\" \"Key", {"My Key"}},
                      // An empty pair of quotes at the start of a parameter is passed over.
                      SplitCase{"tool.exe \"\" Key", {"Key"}},
                      SplitCase{"tool.exe \"\"\"\"Key", {"Key"}},
                      // Control bytes separate like spaces.
                      SplitCase{"tool.exe\tA\x01\x1f"
                                "B",
                                {"A", "B"}},
                      // Counting stops at the first parameter that comes out empty: a lone
                      // quote at the end.
                      SplitCase{"tool.exe A \"", {"A"}},
                      // Quotes never become part of a parameter.
                      SplitCase{"tool.exe a\"b\"c", {"abc"}},
                      // A double-byte character whose second byte is 0x5C or 0x7C is copied whole.
                      SplitCase{"tool.exe \x95\x5c\x83\x7c", {"\x95\x5c\x83\x7c"}}));

TEST(SplitCommandLine, NoLengthLimit) {
  std::string longer(10000, 'k');
  std::string quoted = "x " + std::string(5000, ' ') + "y";
  std::vector<std::string> all = SplitCommandLine("tool.exe " + longer + " \"" + quoted + "\" z");
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[1], longer);
  EXPECT_EQ(all[2], quoted);
  EXPECT_EQ(all[3], "z");
}

TEST(ParametersUntilEmpty, StopsAtFirstEmpty) {
  EXPECT_EQ(ParametersUntilEmpty({"a", "b"}), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ParametersUntilEmpty({"a", "", "b"}), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(ParametersUntilEmpty({"", "a"}).empty());
}

// A NUL ends the command line, also right after a lead byte (which then
// stands alone instead of taking the NUL as its second byte).
TEST(SplitCommandLine, NulAfterLeadByteEndsTheLine) {
  const std::string line("tool.exe Key\x81\0Next", 18);
  EXPECT_EQ(SplitCommandLine(line), (std::vector<std::string>{"tool.exe", "Key\x81"}));
}

}  // namespace
}  // namespace extmerge

#include "platform/posix/IcuCollation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "support/Text.h"

namespace extmerge::posix {
namespace {

using test::J;

int Sign(int v) { return (v > 0) - (v < 0); }

class IcuCollationTest : public testing::Test {
 protected:
  IcuCollation ja_{"ja"};
};

struct OrderCase {
  std::string a;
  std::string b;
  int expected;  // sign of Compare(a, b)
};

TEST_F(IcuCollationTest, Table) {
  const OrderCase cases[] = {
      // Case is ignored, ASCII and full-width alike ...
      {"ab", "AB", 0},
      {"Template.dat", "TEMPLATE.DAT", 0},
      {J("Ａ"), J("ａ"), 0},
      {J("ＡＢｃ"), J("ａｂＣ"), 0},
      {J("Ωω"), J("ωΩ"), 0},
      {J("素材=a"), J("素材=A"), 0},
      // ... and nothing else is.
      {J("Ａ"), "A", 1},
      {"a", J("ａ"), -1},
      {J("あ"), J("ア"), -1},
      {J("ア"), J("ｱ"), -1},
      {J("が"), J("か"), 1},
      {"a b", "ab", -1},
      // Ordering by the collator, not by bytes.
      {"a", "B", -1},
      {"10", "9", -1},
      {J("あ"), J("い"), -1},
      {"abc", "ab", 1},
      {"", "a", -1},
      // Bytes without a character: never equal to something else.
      {"a\x81", "a", 1},
      {"\x81", "\x82", -1},
      {"\x81\x20", "\x81\x45\x20", 1},  // not the replacement character
      {"\x85\x40", "\x86\x40", -1},
      {"\x80", "\xA0", -1},
  };
  for (const OrderCase& c : cases) {
    int got = Sign(ja_.Compare(c.a, c.b));
    EXPECT_EQ(got, c.expected) << testing::PrintToString(c.a) << " vs "
                               << testing::PrintToString(c.b);
    EXPECT_EQ(Sign(ja_.Compare(c.b, c.a)), -got);
    EXPECT_EQ(ja_.Compare(c.a, c.a), 0);
  }
}

// Lookups binary-search indexes sorted with the comparison: it must be a
// consistent total order, with equality only for texts equal ignoring case.
TEST_F(IcuCollationTest, TotalOrder) {
  std::vector<std::string> texts = {
      "",      "a",       "A",           "b",        "ab",       "a b",   "a-b",   "_x",
      "zeta",  "10",      "9",           "\x81",     "\x81\x20", "\x82",  "\x80",  "\xFF",
      J("あ"), J("ア"),   J("ｱ"),        J("ァ"),    J("か"),    J("が"), J("カ"), J("ｶﾞ"),
      J("Ａ"), J("ａ"),   J("追加素材"), J("追加"),  J("素材"),  J("～"), J("ー"), "A=1",
      "a=1",   J("ア=1"), "a\x81",       "\x85\x40", J("①"),     J("髙"), J("高"), "~",
  };
  std::stable_sort(texts.begin(), texts.end(), [&](const std::string& x, const std::string& y) {
    return ja_.Compare(x, y) < 0;
  });
  for (size_t i = 0; i < texts.size(); ++i) {
    for (size_t j = 0; j < texts.size(); ++j) {
      int c = Sign(ja_.Compare(texts[i], texts[j]));
      ASSERT_EQ(c, -Sign(ja_.Compare(texts[j], texts[i])));
      if (i < j) {
        ASSERT_LE(c, 0) << i << " " << j;
      }
      if (c == 0) {
        // Only the ASCII pairs above differ in case alone.
        std::string x = texts[i], y = texts[j];
        for (char& ch : x) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (char& ch : y) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        ASSERT_TRUE(x == y || (texts[i] == J("Ａ") || texts[i] == J("ａ")))
            << testing::PrintToString(texts[i]) << " == " << testing::PrintToString(texts[j]);
      }
    }
  }
}

// The shortcut for plain ASCII must answer exactly as the general path.
TEST(IcuCollationShortcut, AgreesWithGeneralPath) {
  IcuCollation fast("ja"), general("ja", false);
  ASSERT_TRUE(fast.HasAsciiShortcut());
  ASSERT_FALSE(general.HasAsciiShortcut());
  const std::string alphabet = " !\"#$%&'()*+,-./09:;<=>?@AZ[\\]^_`az{|}~aAbB=.";
  std::mt19937 rng(12345);
  auto random_text = [&] {
    std::string s(rng() % 6, ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string a = random_text(), b = random_text();
    if (rng() % 4 == 0) b = a.substr(0, rng() % (a.size() + 1)) + random_text();
    ASSERT_EQ(Sign(fast.Compare(a, b)), Sign(general.Compare(a, b)))
        << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
  }
}

// Keys stand in for the texts in every list: equal keys must be exactly the
// equal texts, and comparing keys must order as comparing the texts, with
// the ASCII shortcut on and off.
TEST(IcuCollationKeys, OrderAndEqualAsTheTexts) {
  IcuCollation fast("ja"), general("ja", false);
  std::vector<std::string> texts = test::MixedTexts(99, 400);
  for (const IcuCollation* c : {&fast, &general}) {
    std::vector<std::string> keys;
    for (const std::string& t : texts) keys.push_back(c->Key(t));
    for (size_t i = 0; i < texts.size(); ++i) {
      for (size_t j = 0; j < texts.size(); ++j) {
        int expected = Sign(c->Compare(texts[i], texts[j]));
        ASSERT_EQ(Sign(c->CompareKeys(keys[i], keys[j])), expected)
            << testing::PrintToString(texts[i]) << " vs " << testing::PrintToString(texts[j]);
        ASSERT_EQ(keys[i] == keys[j], expected == 0)
            << testing::PrintToString(texts[i]) << " vs " << testing::PrintToString(texts[j]);
      }
    }
  }
}

// Keys fold character by character through a table: every character of
// the code page (and every byte that is none) must key as it compares.
TEST(IcuCollationKeys, EveryCharacterOfTheCodePage) {
  IcuCollation ja("ja");
  std::vector<std::string> texts;
  for (int b = 0; b < 256; ++b) {
    texts.push_back(std::string(1, static_cast<char>(b)));
    for (int t = 0x40; t <= 0xFC; ++t)
      if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))
        texts.push_back({static_cast<char>(b), static_cast<char>(t)});
  }
  std::stable_sort(texts.begin(), texts.end(), [&](const std::string& x, const std::string& y) {
    return ja.Compare(x, y) < 0;
  });
  for (size_t i = 1; i < texts.size(); ++i) {
    const std::string &a = texts[i - 1], &b = texts[i];
    int expected = Sign(ja.Compare(a, b));
    std::string ka = ja.Key(a), kb = ja.Key(b);
    ASSERT_EQ(Sign(ja.CompareKeys(ka, kb)), expected)
        << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
    ASSERT_EQ(ka == kb, expected == 0)
        << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
  }
}

TEST(UserCollationLocale, FromEnvironment) {
  struct Case {
    const char* lc_all;
    const char* lc_collate;
    const char* lang;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, "ja"},          {"C", nullptr, "de_DE.UTF-8", "ja"},
      {"POSIX", nullptr, nullptr, "ja"},          {"", "sv_SE.UTF-8@euro", "de_DE.UTF-8", "sv_SE"},
      {nullptr, nullptr, "ja_JP.UTF-8", "ja_JP"}, {"C.UTF-8", "sv_SE", nullptr, "ja"},
  };
  const char* names[] = {"LC_ALL", "LC_COLLATE", "LANG"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* v = std::getenv(names[i]);
    had[i] = v != nullptr;
    if (had[i]) saved[i] = v;
  }
  for (const Case& c : cases) {
    const char* values[] = {c.lc_all, c.lc_collate, c.lang};
    for (int i = 0; i < 3; ++i) {
      if (values[i] != nullptr) {
        setenv(names[i], values[i], 1);
      } else {
        unsetenv(names[i]);
      }
    }
    EXPECT_EQ(UserCollationLocale(), c.expected);
  }
  for (int i = 0; i < 3; ++i) {
    if (had[i]) {
      setenv(names[i], saved[i].c_str(), 1);
    } else {
      unsetenv(names[i]);
    }
  }
}

}  // namespace
}  // namespace extmerge::posix

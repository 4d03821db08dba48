#include "platform/posix/PosixText.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/SystemPlatform.h"
#include "support/Text.h"

namespace extmerge::posix {
namespace {

struct MappingCase {
  std::string cp932;
  std::string utf8;
};

// Microsoft's code page 932, not JIS: these are where the two differ.
TEST(Cp932Conversion, MapsLikeWindows) {
  const MappingCase cases[] = {
      {"\\~", "\\~"},
      {"\x81\x60", "\xEF\xBD\x9E"},  // full-width tilde U+FF5E (not wave dash)
      {"\x81\x5F", "\xEF\xBC\xBC"},  // full-width backslash U+FF3C
      {"\x81\x5C", "\xE2\x80\x95"},  // horizontal bar U+2015
      {"\x81\x7C", "\xEF\xBC\x8D"},  // full-width hyphen-minus U+FF0D
      {"\x87\x40", "\xE2\x91\xA0"},  // circled one (NEC row 13)
      {"\xB1", "\xEF\xBD\xB1"},      // half-width katakana a
      {"\x95\x5C", "\xE8\xA1\xA8"},  // a kanji whose second byte is 0x5C
      {"\xF0\x40", "\xEE\x80\x80"},  // user-defined area -> private use U+E000
  };
  for (const MappingCase& c : cases) {
    EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8);
    EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932);
  }
}

TEST(Cp932Conversion, ValidTextRoundTrips) {
  std::string all;
  for (int b = 0x20; b < 0x7F; ++b) all.push_back(static_cast<char>(b));
  for (int b = 0xA1; b <= 0xDF; ++b) all.push_back(static_cast<char>(b));
  const std::string text = test::J("追加素材の再登録（PowerUsers）ｱｲｳ　全角ＡＢＣ～");
  EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(all)), all);
  EXPECT_EQ(Cp932ToUtf8(text), "追加素材の再登録（PowerUsers）ｱｲｳ　全角ＡＢＣ～");
  EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(text)), text);
}

// Bytes that are not text in the source encoding come through unchanged,
// and so do characters the other side lacks.
TEST(Cp932Conversion, PassesRawBytesThrough) {
  const std::string raw_cp932[] = {
      "a\x81",                 // lone lead byte at the end
      "\x81\x20z",             // lead byte before a byte that cannot follow it
      "\x80\xA0\xFD\xFE\xFF",  // single bytes without a character
      "\x85\x40",              // unassigned pair
  };
  for (const std::string& s : raw_cp932) EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(s)), s);
  EXPECT_EQ(Cp932ToUtf8("a\x81"), "a\x81");

  const std::string raw_utf8[] = {
      "\xE2\x82\xAC",      // euro sign: not in code page 932
      "\xF0\x9F\x98\x80",  // a supplementary character
      "x\xC3(\xFF",        // invalid UTF-8
      "\xED\xA0\x80",      // an encoded surrogate is not valid UTF-8 either
  };
  // (Read back as code page 932 these bytes are other text: the pass-through
  // keeps them, it cannot make them mean the same.)
  for (const std::string& s : raw_utf8) EXPECT_EQ(Utf8ToCp932(s), s);
}

TEST(Cp932Conversion, LongTextHasNoLimit) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += test::J("表a");
  EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(text)), text);
}

TEST(DecodeCp932Distinct, InvalidBytesNeverMergeWithText) {
  // Each of these would decode like another one under a lossy decoder (e.g.
  // replacement characters); here all must stay distinct.
  const std::string texts[] = {
      "",     "\x81",     "\x82",     "\x81\x20", "\x81\x45\x20", " ",        "\x80",  "\xA0",
      "\xFD", "\x85\x40", "\x86\x40", "@",        "\xEF\xBF\xBD", "\x81\x40", "a\x81", "a",
  };
  std::set<std::u16string> seen;
  for (const std::string& t : texts) {
    std::u16string decoded;
    DecodeCp932Distinct(t, decoded);
    EXPECT_TRUE(seen.insert(decoded).second)
        << "duplicate decoding of " << testing::PrintToString(t);
  }
  std::u16string decoded;
  DecodeCp932Distinct("\x82\xA0\x95\x5C", decoded);
  EXPECT_EQ(decoded, u"\u3042\u8868");
}

TEST(NativePath, MapsSeparatorsButNotSecondBytes) {
  EXPECT_EQ(NativePath("\\srv\\host\\Data"), "/srv/host/Data");
  EXPECT_EQ(NativePath("/srv/host/"), "/srv/host/");
  // 0x95 0x5C is one character; the backslash after it is a separator.
  EXPECT_EQ(NativePath("d\\\x95\x5C\\f"), "d/\xE8\xA1\xA8/f");
  EXPECT_EQ(ToolText("/srv/\xE8\xA1\xA8"), "/srv/\x95\x5C");
}

}  // namespace
}  // namespace extmerge::posix

// The Windows layer's text services and resources, against the real system
// (run under a Japanese code page 932 locale).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "Resources.h"
#include "platform/SystemPlatform.h"
#include "support/Text.h"

namespace extmerge {
namespace {

using test::J;

int Sign(int v) { return (v > 0) - (v < 0); }

struct CollationCase {
  const char* a;  // UTF-8
  const char* b;
  int expected;  // sign: -1, 0 or 1; kDiffer when only inequality matters
};
constexpr int kDiffer = 2;

class Win32CollationTest : public ::testing::TestWithParam<CollationCase> {};

TEST_P(Win32CollationTest, ComparesInUserLocaleIgnoringCaseOnly) {
  std::unique_ptr<Platform> p = MakeSystemPlatform(0, nullptr);
  const Collation& c = p->UserCollation();
  std::string a = J(GetParam().a), b = J(GetParam().b);
  int ab = Sign(c.Compare(a, b));
  int ba = Sign(c.Compare(b, a));
  if (GetParam().expected == kDiffer) {
    EXPECT_NE(ab, 0) << GetParam().a << " vs " << GetParam().b;
  } else {
    EXPECT_EQ(ab, GetParam().expected) << GetParam().a << " vs " << GetParam().b;
  }
  // A total order: the reverse comparison agrees.
  EXPECT_EQ(ba, -ab) << GetParam().b << " vs " << GetParam().a;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Win32CollationTest,
    ::testing::Values(CollationCase{"ab", "AB", 0}, CollationCase{"Ａ", "ａ", 0},
                      CollationCase{"", "", 0}, CollationCase{"", "a", -1},
                      CollationCase{"abc", "abd", -1}, CollationCase{"追加素材", "追加素材", 0},
                      // Width, kana type and length stay significant.
                      CollationCase{"A", "Ａ", -1}, CollationCase{"あ", "ア", kDiffer},
                      CollationCase{"ｱ", "ア", kDiffer}, CollationCase{"ｶﾞ", "ガ", kDiffer},
                      CollationCase{"ab", "abc", -1}));

TEST(Win32CollationTest, NulBytesAreCompared) {
  std::unique_ptr<Platform> p = MakeSystemPlatform(0, nullptr);
  const Collation& c = p->UserCollation();
  // Both texts start with "a"; only explicit lengths let the bytes after the
  // NUL count.
  EXPECT_NE(c.Compare(std::string("a\0b", 3), std::string("a\0c", 3)), 0);
  EXPECT_NE(c.Compare(std::string("a\0b", 3), std::string("a", 1)), 0);
}

// Lists hash and sort the sort keys instead of comparing texts: the keys
// must order exactly as the comparison and be equal exactly for equal texts.
TEST(Win32CollationTest, SortKeysOrderAndEqualAsTheTexts) {
  std::unique_ptr<Platform> p = MakeSystemPlatform(0, nullptr);
  const Collation& c = p->UserCollation();
  std::vector<std::string> texts = test::MixedTexts(99, 300);
  texts.push_back(std::string("a\0b", 3));
  texts.push_back(std::string("a\0c", 3));
  texts.push_back(std::string("A\0B", 3));
  std::vector<std::string> keys;
  for (const std::string& t : texts) keys.push_back(c.Key(t));
  int disagreements = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    for (size_t j = 0; j < texts.size(); ++j) {
      int expected = Sign(c.Compare(texts[i], texts[j]));
      bool ok = Sign(c.CompareKeys(keys[i], keys[j])) == expected &&
                (keys[i] == keys[j]) == (expected == 0);
      if (!ok && ++disagreements <= 10) {
        ADD_FAILURE() << testing::PrintToString(texts[i]) << " vs "
                      << testing::PrintToString(texts[j]) << ": compare " << expected << ", keys "
                      << Sign(c.CompareKeys(keys[i], keys[j]));
      }
    }
  }
  EXPECT_EQ(disagreements, 0);
}

TEST(Win32CodePageTest, LeadBytesOfCodePage932) {
  std::unique_ptr<Platform> p = MakeSystemPlatform(0, nullptr);
  CodePageInfo info = p->AnsiCodePageInfo();
  ASSERT_TRUE(info.dbcs);
  for (int b = 0; b < 256; ++b) {
    bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(info.lead[b], expected) << std::hex << b;
  }
}

struct ConversionCase {
  std::string utf8;
  std::string cp932;
};

TEST(Win32ConversionTest, BothWays) {
  const ConversionCase cases[] = {
      {"", ""},
      {"plain ASCII\r\n", "plain ASCII\r\n"},
      {"追加素材", "\x92\xC7\x89\xC1\x91\x66\x8D\xDE"},
      {"（表）", "\x81\x69\x95\x5C\x81\x6A"},  // 表 has "\" as its second byte
      {"ｱｲ", "\xB1\xB2"},                      // half-width katakana: one byte each
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const ConversionCase& c : cases) {
    EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.utf8;
    EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.utf8;
  }
}

TEST(Win32ConversionTest, UnconvertibleBytesPassThrough) {
  // No code page 932 counterpart (an emoji), and UTF-8 that is not valid.
  EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80"
                        "b"),
            "a\xF0\x9F\x98\x80"
            "b");
  EXPECT_EQ(Utf8ToCp932("\xFF"
                        "表"),
            "\xFF\x95\x5C");
  // A lead byte without a valid second byte; the text after it still converts.
  EXPECT_EQ(Cp932ToUtf8("\x81\x20"
                        "x\x92\xC7"),
            "\x81 x追");
  EXPECT_EQ(Cp932ToUtf8("ok\x81"), "ok\x81");
}

// Every text of strings.def, as the string table in the program's resources
// must hold it (this binary links the same resource object).
struct DefinedString {
  int id;
  const char* utf8;
};
const DefinedString kDefinedStrings[] = {
#define EXTMERGE_STRING(sym, id, text) {id, text},
#include "strings.def"
#undef EXTMERGE_STRING
};

TEST(Win32ResourceTest, StringTableHoldsEveryDefinedText) {
  std::unique_ptr<Platform> p = MakeSystemPlatform(0, nullptr);
  ASSERT_GE(std::size(kDefinedStrings), 7u);
  for (const DefinedString& s : kDefinedStrings) {
    std::string loaded = p->LoadResString(s.id);
    EXPECT_FALSE(loaded.empty()) << s.id;
    EXPECT_EQ(loaded, Utf8ToCp932(s.utf8)) << s.id;
  }
  EXPECT_EQ(p->LoadResString(IDS_MARKER), J("追加素材"));
  EXPECT_EQ(p->LoadResString(99), "");  // no such string
}

// The first UTF-16 occurrence of an ASCII text in a resource block.
bool ContainsWide(const void* data, size_t size, const char* ascii) {
  std::u16string wide(ascii, ascii + std::strlen(ascii));
  std::u16string_view block(static_cast<const char16_t*>(data), size / 2);
  return block.find(wide) != std::u16string_view::npos;
}

TEST(Win32ResourceTest, VersionBlockAndIcon) {
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16));
  ASSERT_NE(res, nullptr);
  const void* data = LockResource(LoadResource(nullptr, res));
  size_t size = SizeofResource(nullptr, res);
  ASSERT_NE(data, nullptr);
  // The fixed part follows the header and its key "VS_VERSION_INFO" at a
  // 32-bit boundary: offset 40.
  ASSERT_GT(size, 40 + sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, static_cast<const char*>(data) + 40, sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwFileVersionLS, 0u);
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
  for (const char* text : {"041103A4", "1.0.0.0", "extmerge.exe", "ProductName", "Translation"}) {
    EXPECT_TRUE(ContainsWide(data, size, text)) << text;
  }
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr);  // icon
}

TEST(Win32ProcessTest, ModuleFileNameIsTheFullPath) {
  std::unique_ptr<Platform> p = MakeSystemPlatform(0, nullptr);
  std::string path = p->ModuleFileName();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path[1], ':');
  EXPECT_NE(path.find("unit_tests.exe"), std::string::npos);
}

}  // namespace
}  // namespace extmerge

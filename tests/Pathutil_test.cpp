#include "Pathutil.h"

#include <gtest/gtest.h>

#include "support/FakePlatform.h"

namespace extmerge {
namespace {

struct JoinCase {
  std::string dir;
  std::string name;
  std::string expected;
};

TEST(Pathutil, JoinPathTable) {
  const JoinCase cases[] = {
      {"C:\\Host", "a.dat", "C:\\Host\\a.dat"},
      {"C:\\Host\\", "a.dat", "C:\\Host\\a.dat"},
      {"", "a.dat", "a.dat"},
      {"C:\\Host", "Data\\Template\\Template.dat", "C:\\Host\\Data\\Template\\Template.dat"},
      // A directory ending in the double-byte character 0x95 0x5C: its second
      // byte is not a separator, so one is added.
      {"C:\\\x95\x5c", "a.dat", "C:\\\x95\x5c\\a.dat"},
      // ... while a real separator after a double-byte character is seen.
      {"C:\\\x95\x5c\\", "a.dat", "C:\\\x95\x5c\\a.dat"},
  };
  for (const JoinCase& c : cases) EXPECT_EQ(JoinPath(c.dir, c.name), c.expected) << c.dir;
}

TEST(Pathutil, LastCharIs) {
  EXPECT_FALSE(LastCharIs("", '\\'));
  EXPECT_TRUE(LastCharIs("a\\", '\\'));
  EXPECT_FALSE(LastCharIs("\x95\x5c", '\\'));
  EXPECT_TRUE(LastCharIs("\x95\x5c\\", '\\'));
  // 0x5C after a complete double-byte pair is a real backslash.
  EXPECT_TRUE(LastCharIs("\x95\x5c\x5c", '\\'));
  // A lone lead byte at the end is a single byte.
  EXPECT_TRUE(LastCharIs("a\x95", '\x95'));
}

TEST(Pathutil, LastCharIsSingleByteCodePage) {
  SetAnsiCodePage(CodePageInfo::SingleByte());
  EXPECT_TRUE(LastCharIs("\x95\x5c", '\\'));
  SetAnsiCodePage(CodePageInfo::Cp932());
}

TEST(Pathutil, IsDirectory) {
  test::FakePlatform fs;
  fs.AddDir("C:\\Host");
  fs.AddDir("C:\\Host\\Hidden", kAttrHidden | kAttrReadOnly);
  fs.AddFile("C:\\Host\\file.dat", "x");
  EXPECT_TRUE(IsDirectory(fs, "C:\\Host"));
  EXPECT_TRUE(IsDirectory(fs, "C:\\Host\\Hidden"));
  EXPECT_FALSE(IsDirectory(fs, "C:\\Host\\file.dat"));
  EXPECT_FALSE(IsDirectory(fs, "C:\\Missing"));
}

}  // namespace
}  // namespace extmerge

#include "platform/posix/RegistryFile.h"

#include <gtest/gtest.h>

#include "support/Text.h"

namespace extmerge::posix {
namespace {

using test::J;

struct LookupCase {
  const char* what;
  std::string file;
  std::string key;
  std::optional<std::string> expected;
};

const std::string kHead = "REGEDIT4\r\n\r\n";

TEST(RegistryFile, LookupTable) {
  const LookupCase cases[] = {
      {"plain", kHead + "[HKEY_CLASSES_ROOT\\MyHost\\dstDir]\r\n@=\"/srv/host/\"\r\n",
       "HKEY_CLASSES_ROOT\\MyHost\\dstDir", "/srv/host/"},
      {"LF endings, version 5 header",
       "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\K]\n@=\"v\"\n",
       "HKEY_CLASSES_ROOT\\K", "v"},
      {"UTF-8 with a byte order mark",
       "\xEF\xBB\xBFREGEDIT4\n[HKEY_CLASSES_ROOT\\表]\n@=\"ホスト\"",
       "HKEY_CLASSES_ROOT\\" + J("表"), J("ホスト")},
      {"escapes", kHead + "[HKEY_CLASSES_ROOT\\K]\r\n@=\"C:\\\\a \\\"q\\\" \\n\"\r\n",
       "HKEY_CLASSES_ROOT\\K", "C:\\a \"q\" \\n"},
      {"key names ignore case", kHead + "[hkey_classes_root\\myhost\\DSTDIR]\r\n@=\"v\"\r\n",
       "HKEY_CLASSES_ROOT\\MyHost\\dstDir", "v"},
      {"full-width letters ignore case too",
       kHead + "[HKEY_CLASSES_ROOT\\" + J("ホストＡ") + "]\r\n@=\"v\"\r\n",
       "HKEY_CLASSES_ROOT\\" + J("ホストａ"), "v"},
      {"full-width and ASCII letters differ",
       kHead + "[HKEY_CLASSES_ROOT\\" + J("Ａ") + "]\r\n@=\"v\"\r\n", "HKEY_CLASSES_ROOT\\A",
       std::nullopt},
      {"root abbreviated", kHead + "[HKCR\\K]\r\n@=\"v\"\r\n", "HKEY_CLASSES_ROOT\\K", "v"},
      {"other root", kHead + "[HKEY_LOCAL_MACHINE\\K]\r\n@=\"v\"\r\n", "HKEY_CLASSES_ROOT\\K",
       std::nullopt},
      {"missing key", kHead + "[HKEY_CLASSES_ROOT\\K]\r\n@=\"v\"\r\n", "HKEY_CLASSES_ROOT\\L",
       std::nullopt},
      {"parent key is not the key", kHead + "[HKEY_CLASSES_ROOT\\K\\dstDir]\r\n@=\"v\"\r\n",
       "HKEY_CLASSES_ROOT\\K", std::nullopt},
      {"key without default", kHead + "[HKEY_CLASSES_ROOT\\K]\r\n\"named\"=\"v\"\r\n",
       "HKEY_CLASSES_ROOT\\K", std::nullopt},
      {"empty default", kHead + "[HKEY_CLASSES_ROOT\\K]\r\n@=\"\"\r\n", "HKEY_CLASSES_ROOT\\K", ""},
      {"default of another type", kHead + "[HKEY_CLASSES_ROOT\\K]\r\n@=dword:00000001\r\n",
       "HKEY_CLASSES_ROOT\\K", std::nullopt},
      {"last default wins, spaces around =",
       kHead + "[HKEY_CLASSES_ROOT\\K]\r\n@=\"a\"\r\n@ = \"b\"\r\n", "HKEY_CLASSES_ROOT\\K", "b"},
      {"unterminated string is not a value",
       kHead + "[HKEY_CLASSES_ROOT\\K]\r\n@=\"a\"\r\n@=\"b\r\n", "HKEY_CLASSES_ROOT\\K", "a"},
      {"value before any key belongs to none", kHead + "@=\"v\"\r\n[HKEY_CLASSES_ROOT\\K]\r\n",
       "HKEY_CLASSES_ROOT\\K", std::nullopt},
      {"no header", "[HKEY_CLASSES_ROOT\\K]\r\n@=\"v\"\r\n", "HKEY_CLASSES_ROOT\\K", std::nullopt},
      {"removed default", kHead + "[HKEY_CLASSES_ROOT\\K]\r\n@=\"v\"\r\n@=-\r\n",
       "HKEY_CLASSES_ROOT\\K", std::nullopt},
      {"removed key takes its subkeys along",
       kHead + "[HKCR\\K\\dstDir]\r\n@=\"v\"\r\n[-HKEY_CLASSES_ROOT\\k]\r\n",
       "HKEY_CLASSES_ROOT\\K\\dstDir", std::nullopt},
      {"removing a sibling with a longer name leaves the key",
       kHead + "[HKCR\\K]\r\n@=\"v\"\r\n[-HKCR\\K2]\r\n", "HKCR\\K", "v"},
      {"hex continuation lines are not keys",
       kHead + "[HKCR\\K]\r\n\"b\"=hex:01,02,\\\r\n  [03,04\r\n@=\"v\"\r\n", "HKCR\\K", "v"},
      {"comments and blank lines", kHead + "; [HKCR\\K]\r\n\r\n[HKCR\\K]\r\n;@=\"x\"\r\n@=\"v\"",
       "HKCR\\K", "v"},
      // Double-byte characters whose second byte is 0x5C ("\") or 0x5D ("]")
      // are read whole.
      {"value ending in a 0x5C second byte", kHead + "[HKCR\\K]\r\n@=\"C:\\\\" + J("表") + "\"\r\n",
       "HKCR\\K", "C:\\" + J("表")},
      {"lone lead byte before the closing quote", kHead + "[HKCR\\K]\r\n@=\"x\x81\"\r\n", "HKCR\\K",
       "x\x81"},
      {"key name ending in a 0x5C second byte", kHead + "[HKCR\\" + J("表") + "]\r\n@=\"v\"",
       "HKCR\\" + J("表"), "v"},
      {"key name with a 0x5D second byte", kHead + "[HKCR\\\x81\x5D]\r\n@=\"v\"", "HKCR\\\x81\x5D",
       "v"},
      {"long value", kHead + "[HKCR\\K]\r\n@=\"" + std::string(10000, 'x') + "\"", "HKCR\\K",
       std::string(10000, 'x')},
  };
  for (const LookupCase& c : cases) {
    RegistryFile reg = RegistryFile::Parse(c.file);
    EXPECT_EQ(reg.DefaultValue(c.key), c.expected) << c.what;
  }
}

TEST(RegistryFile, Utf16AsExported) {
  const std::u16string text =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\表]\r\n"
      u"@=\"C:\\\\ホスト\"\r\n";
  std::string bytes;
  for (char16_t u : text) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  EXPECT_EQ(RegistryFile::Parse(bytes).DefaultValue("HKCR\\" + J("表")), J("C:\\ホスト"));
  EXPECT_EQ(RegistryFile::Parse(bytes.substr(0, bytes.size() - 5)).KeyCount(), 1u);  // cut short
}

TEST(RegistryFile, KeysWithoutDefaultStillExist) {
  RegistryFile reg =
      RegistryFile::Parse(kHead + "[HKCR\\A]\r\n[HKCR\\B]\r\n@=\"x\"\r\n[HKCR\\A]\r\n");
  EXPECT_EQ(reg.KeyCount(), 2u);
  EXPECT_TRUE(reg.HasKey("HKEY_CLASSES_ROOT\\a"));
  EXPECT_FALSE(reg.HasKey("HKEY_CLASSES_ROOT\\C"));
  // Reopening a key keeps what it had.
  EXPECT_EQ(reg.DefaultValue("HKCR\\B"), "x");
}

TEST(RegistryFile, GarbageNeverFails) {
  std::string junk = kHead;
  for (int i = 0; i < 512; ++i) junk.push_back(static_cast<char>((i * 37) & 0xFF));
  for (size_t cut = 0; cut < junk.size(); cut += 7) RegistryFile::Parse(junk.substr(0, cut));
  RegistryFile::Parse(kHead + "[\x81");
  RegistryFile::Parse(kHead + "[HKCR\\K]\r\n@=\"\x81");
  RegistryFile::Parse(kHead + "[-]\r\n[]\r\n@\r\n\"\r\n");
  RegistryFile::Parse("\xFF\xFE\x00\xD8R\x00");  // odd length, lone surrogate
  RegistryFile::Parse("\xEF\xBB\xBF" + junk);
}

}  // namespace
}  // namespace extmerge::posix

// The Windows layer's registry reads, on a key the test creates under
// HKEY_CLASSES_ROOT and removes again.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/SystemPlatform.h"
#include "support/Text.h"

namespace extmerge {
namespace {

using test::J;

class Win32RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (key_ + "\\dstDir").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key_.c_str());
  }

  // Creates <key>\dstDir, with a default value unless `bytes` is null.
  void Create(const std::string* bytes, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (key_ + "\\dstDir").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (bytes) {
      ASSERT_EQ(RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(bytes->data()),
                               static_cast<DWORD>(bytes->size())),
                ERROR_SUCCESS);
    }
    RegCloseKey(key);
  }

  std::unique_ptr<Platform> platform_ = MakeSystemPlatform(0, nullptr);
  const std::string key_ = "extmerge-test-" + std::to_string(GetCurrentProcessId());
};

TEST_F(Win32RegistryTest, ReadsDefaultValueWhole) {
  std::string long_dir = "C:\\" + J("ホスト");
  while (long_dir.size() <= 300) long_dir += J("\\追加素材フォルダー");
  long_dir += "\\";
  struct Case {
    std::string stored;  // as written, terminating NUL included
    std::string expected;
  } cases[] = {
      {std::string("C:\\Host\\\0", 9), "C:\\Host\\"},
      {long_dir + '\0', long_dir},         // longer than a path buffer
      {std::string("ab\0cd\0", 6), "ab"},  // text up to its first NUL
      {std::string("\0", 1), ""},
  };
  for (const Case& c : cases) {
    Create(&c.stored);
    EXPECT_EQ(platform_->ReadClassesRootDefault(key_ + "\\dstDir"), c.expected);
  }
}

TEST_F(Win32RegistryTest, MissingKeyOrValueIsNothing) {
  EXPECT_EQ(platform_->ReadClassesRootDefault(key_ + "\\dstDir"), std::nullopt);
  Create(nullptr);
  EXPECT_EQ(platform_->ReadClassesRootDefault(key_ + "\\dstDir"), std::nullopt);
  std::string number("\x01\x00\x00\x00", 4);
  Create(&number, REG_DWORD);
  EXPECT_EQ(platform_->ReadClassesRootDefault(key_ + "\\dstDir"), std::nullopt);
}

}  // namespace
}  // namespace extmerge

#include "main/RunControl.h"

#include <gtest/gtest.h>

#include "Resources.h"
#include "main/ContentScan.h"
#include "support/FakePlatform.h"

namespace extmerge {
namespace {

using test::FakePlatform;

class RunControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.params = {"MyHost"};
    sys.registry["MyHost\\dstDir"] = "C:\\Host\\";
  }
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : sys.calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
  FakePlatform sys;
};

TEST_F(RunControlTest, WrongParameterCountDoesNothing) {
  for (std::vector<std::string> params :
       {std::vector<std::string>{}, std::vector<std::string>{"A", "B"}}) {
    FakePlatform fresh;
    fresh.params = params;
    EXPECT_EQ(ProgramMain(fresh), 0);
    EXPECT_TRUE(fresh.messages.empty());
    EXPECT_TRUE(fresh.calls.empty()) << "no registry or file access";
    EXPECT_TRUE(fresh.critical_errors_off);
  }
}

TEST_F(RunControlTest, MissingRightsShowsErrorAndTouchesNothing) {
  sys.may_write_machine = false;
  EXPECT_EQ(ProgramMain(sys), 0);
  ASSERT_EQ(sys.messages.size(), 1u);
  EXPECT_EQ(sys.messages[0].text, sys.LoadResString(IDS_NO_RIGHTS));
  EXPECT_EQ(sys.messages[0].style, kMbIconError);
  EXPECT_EQ(sys.calls, std::vector<std::string>{"probe"});
}

TEST_F(RunControlTest, MissingHostKeyIsAFailureNotASuccess) {
  sys.registry.clear();
  EXPECT_EQ(ProgramMain(sys), 0);
  ASSERT_EQ(sys.messages.size(), 1u);
  EXPECT_EQ(sys.messages[0].text,
            FormatWithString(sys.LoadResString(IDS_HOST_NOT_FOUND), "MyHost"));
  EXPECT_EQ(sys.messages[0].style, kMbOk);
  EXPECT_TRUE(CallsStartingWith("attr").empty()) << "no file is looked at";
}

TEST_F(RunControlTest, EmptyHostValueIsAFailure) {
  sys.registry["MyHost\\dstDir"] = "";
  ProgramMain(sys);
  ASSERT_EQ(sys.messages.size(), 1u);
  EXPECT_NE(sys.messages[0].text, sys.LoadResString(IDS_SUCCESS));
}

TEST_F(RunControlTest, NoContentRootStillSucceeds) {
  ProgramMain(sys);
  ASSERT_EQ(sys.messages.size(), 1u);
  EXPECT_EQ(sys.messages[0].text, sys.LoadResString(IDS_SUCCESS));
  EXPECT_EQ(sys.messages[0].style, kMbOk);
  EXPECT_EQ(sys.messages[0].caption, "extmerge");
}

TEST_F(RunControlTest, ScanVisitsContentFoldersInListingOrder) {
  sys.AddDir("C:\\Host\\Data\\ExtContents");
  sys.AddDir("C:\\Host\\Data\\ExtContents\\B");
  sys.AddFile("C:\\Host\\Data\\ExtContents\\readme.txt", "x");
  sys.AddDir("C:\\Host\\Data\\ExtContents\\.hidden");
  sys.AddDir("C:\\Host\\Data\\ExtContents\\A", kAttrHidden | kAttrSystem);
  ProgramMain(sys);
  std::vector<std::string> expected;
  for (const char* folder : {"B", "A"}) {
    std::string f = std::string("C:\\Host\\Data\\ExtContents\\") + folder;
    expected.push_back("attr " + f + "\\Template.dat");
    expected.push_back("attr C:\\Host\\Data\\Template\\Template.dat");
    expected.push_back("attr " + f + "\\BackGrnd.dat");
    expected.push_back("attr C:\\Host\\Data\\Backgrnd\\BackGrnd.dat");
  }
  std::vector<std::string> attrs = CallsStartingWith("attr C:\\Host\\Data\\");
  // Drop the content root's own directory test.
  attrs.erase(attrs.begin());
  EXPECT_EQ(attrs, expected);
  ASSERT_EQ(sys.messages.size(), 1u);
  EXPECT_EQ(sys.messages[0].text, sys.LoadResString(IDS_SUCCESS));
}

TEST_F(RunControlTest, HostDirectoryIsReadAgainForEveryFolder) {
  sys.registry["MyHost\\dstDir"] = "C:\\Host";  // no trailing separator
  sys.AddDir("C:\\Host\\Data\\ExtContents");
  sys.AddDir("C:\\Host\\Data\\ExtContents\\A");
  sys.AddDir("C:\\Host\\Data\\ExtContents\\B");
  int reads = 0;
  sys.before_registry_read = [&reads](FakePlatform& p) {
    // Scan, folder A, then folder B sees a new value.
    if (++reads == 3) p.registry["MyHost\\dstDir"] = "D:\\Other\\";
  };
  ProgramMain(sys);
  EXPECT_EQ(reads, 3);
  std::vector<std::string> t = CallsStartingWith("attr D:\\Other\\");
  EXPECT_EQ(t, (std::vector<std::string>{"attr D:\\Other\\Data\\Template\\Template.dat",
                                         "attr D:\\Other\\Data\\Backgrnd\\BackGrnd.dat"}));
}

TEST(Caption, FromModulePath) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Tools\\extmerge.exe", "extmerge"},
      {"C:\\Tools\\tool.new.exe", "tool.new"},
      {"C:\\Tools\\noext", "noext"},
      {"C:\\Tools\\.exe", ""},
      {"C:tool.exe", "tool"},
      {"/usr/local/bin/extmerge", "extmerge"},
      // The second byte 0x5C of a double-byte character is not a separator.
      {"C:\\\x95\x5c\x8e\x86.exe", "\x95\x5c\x8e\x86"},
      {"C:\\dir.d\\tool", "tool"},
  };
  for (auto [path, caption] : cases) EXPECT_EQ(CaptionFromModulePath(path), caption) << path;
}

}  // namespace
}  // namespace extmerge

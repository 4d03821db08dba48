// The catalogue layer on real files, through this build's platform layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "Resources.h"
#include "catalogue/IniFile.h"
#include "platform/SystemPlatform.h"

namespace extmerge {
namespace {

namespace fs = std::filesystem;

class IniFileDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() / ("extmerge-ini-" + std::to_string(stamp));
    fs::create_directories(root_);
  }
  void TearDown() override {
    for (const auto& e : fs::recursive_directory_iterator(root_))
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(root_);
  }
  // The path as the tool forms it ("\" separators; ASCII, so no conversion).
  std::string P(const std::string& rel) const {
    std::string p = (root_ / rel).string();
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  void Write(const std::string& rel, const std::string& bytes) {
    std::ofstream(root_ / rel, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& rel) {
    std::ifstream f(root_ / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  void ReadOnly(const std::string& rel) {
    fs::permissions(root_ / rel,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  std::vector<std::string> Entries() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Failure(int id, const std::string& path) {
    return FormatWithString(sys_->LoadResString(id), path);
  }

  fs::path root_;
  std::unique_ptr<Platform> sys_ = MakeSystemPlatform(0, nullptr);
};

const char kCatalogue[] =
    "; template catalogue\r\n"
    "\r\n"
    "[Scenery]\r\n"
    "Name = Sea,Mountain\r\n"
    "Dir = Data\\Sea,Data\\Mountain\r\n"
    "\r\n"
    "[Portrait]\r\n"
    "Name=A\r\n";

TEST_F(IniFileDiskTest, SaveReplacesTheFileChangingOnlyTheWrittenLine) {
  Write("Template.dat", kCatalogue);
  CatalogueStore store(*sys_);
  TIniFile ini(store, P("Template.dat"));
  ini.WriteString("scenery", "DIR", "Data\\Sea,Data\\Mountain,Data\\Forest");
  EXPECT_EQ(Read("Template.dat"), kCatalogue) << "nothing written before the save";
  store.SaveAll();
  std::string expected = kCatalogue;
  expected.replace(expected.find("Data\\Mountain\r\n"), 13, "Data\\Mountain,Data\\Forest");
  EXPECT_EQ(Read("Template.dat"), expected);
  EXPECT_EQ(Entries(), std::vector<std::string>{"Template.dat"}) << "no temporary file left";
  // A new store reads what was saved.
  CatalogueStore again(*sys_);
  EXPECT_EQ(TIniFile(again, P("Template.dat")).ReadString("Scenery", "Name"), "Sea,Mountain");
}

TEST_F(IniFileDiskTest, UnwritableFilesStayAsTheyWere) {
  Write("ro.dat", kCatalogue);
  ReadOnly("ro.dat");
  Write("later.dat", kCatalogue);
  CatalogueStore store(*sys_);
  for (const std::string& path : {P("ro.dat"), P("missing\\x.dat")}) {
    TIniFile ini(store, path);
    ini.DeleteKey("Portrait", "Name");  // ignored
    try {
      ini.WriteString("Portrait", "Name", "B");
      ADD_FAILURE() << path;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), Failure(IDS_CANNOT_WRITE, path));
    }
  }
  // Writable at the first change, read-only by the time of the save.
  TIniFile later(store, P("later.dat"));
  later.WriteString("Portrait", "Name", "B");
  ReadOnly("later.dat");
  try {
    store.SaveAll();
    ADD_FAILURE() << "no failure";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), Failure(IDS_CANNOT_WRITE, P("later.dat")));
  }
  EXPECT_EQ(Read("ro.dat"), kCatalogue);
  EXPECT_EQ(Read("later.dat"), kCatalogue);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"later.dat", "ro.dat"}));
}

TEST_F(IniFileDiskTest, DirectoryInPlaceOfTheFileIsAReadFailure) {
  fs::create_directory(root_ / "BackGrnd.dat");
  CatalogueStore store(*sys_);
  TIniFile ini(store, P("BackGrnd.dat"));
  try {
    ini.ReadString("S", "k");
    ADD_FAILURE() << "no failure";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), Failure(IDS_CANNOT_READ, P("BackGrnd.dat")));
  }
}

}  // namespace
}  // namespace extmerge

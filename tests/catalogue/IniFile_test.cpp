#include "catalogue/IniFile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Resources.h"
#include "support/FakePlatform.h"
#include "support/Text.h"

namespace extmerge {
namespace {

using test::J;
using Names = std::vector<std::string>;

// The fake with faults to order.
class FaultyPlatform : public test::FakePlatform {
 public:
  bool no_temp = false;      // no temporary file can be made beside a target
  bool fail_append = false;  // writing the bytes fails
  bool fail_rename = false;  // the final rename fails
  std::string unreadable;    // reading this path fails

  std::unique_ptr<WritableFile> CreateTempBeside(const std::string& target,
                                                 std::string& temp_path) override {
    if (no_temp) return nullptr;
    auto file = FakePlatform::CreateTempBeside(target, temp_path);
    return fail_append ? std::make_unique<Failing>() : std::move(file);
  }
  bool RenameReplacing(const std::string& from, const std::string& to) override {
    return fail_rename ? false : FakePlatform::RenameReplacing(from, to);
  }
  ReadStatus ReadWholeFile(const std::string& path, std::string& out) override {
    if (path == unreadable) return ReadStatus::kFailed;
    return FakePlatform::ReadWholeFile(path, out);
  }
  bool HasTempFiles() const {
    for (const auto& [path, bytes] : files)
      if (path.find(".tmp") != std::string::npos) return true;
    return false;
  }

 private:
  class Failing : public WritableFile {
   public:
    bool Append(std::string_view) override { return false; }
    bool Sync() override { return false; }
    bool Close() override { return true; }
  };
};

class IniFileTest : public ::testing::Test {
 protected:
  const std::string kPath = "C:\\Host\\Data\\Template\\Template.dat";
  const std::string kOther = "C:\\Host\\Data\\Backgrnd\\BackGrnd.dat";
  IniFileTest() {
    fake.AddDir("C:\\Host\\Data\\Template");
    fake.AddDir("C:\\Host\\Data\\Backgrnd");
  }
  TStringList List() { return TStringList(fake.UserCollation()); }
  static Names Texts(const TStringList& list) { return list.Texts(); }
  std::string CannotWrite(const std::string& path) {
    return FormatWithString(J("%s に書き込めません"), path);
  }

  FaultyPlatform fake;
  CatalogueStore store{fake};
};

// ---- the operations the merge relies on ----

TEST_F(IniFileTest, WriteAddsAtTheEndThenReplacesInPlace) {
  fake.AddFile(kPath, "[S]\r\nDir=a\r\n\r\n[T]\r\n");
  TIniFile ini(store, kPath);
  ini.WriteString("S", "Name", "x");
  ini.WriteString("S", "Name", "y");
  ini.WriteString("S", "Empty", "");
  ini.WriteString("U", "k", "v");
  EXPECT_EQ(fake.files[kPath], "[S]\r\nDir=a\r\n\r\n[T]\r\n") << "nothing on disk before the save";
  store.SaveAll();
  EXPECT_EQ(fake.files[kPath], "[S]\r\nDir=a\r\nName=y\r\nEmpty=\r\n\r\n[T]\r\n[U]\r\nk=v\r\n");
}

TEST_F(IniFileTest, ReadsSeeEarlierChangesThroughEveryHandle) {
  fake.AddFile(kPath, "[S]\r\na=1\r\nb=2\r\n");
  TIniFile first(store, kPath);
  first.DeleteKey("S", "a");
  first.WriteString("S", "a", "3");
  TIniFile second(store, kPath);
  EXPECT_EQ(second.ReadString("s", "A"), "3");
  TStringList keys = List();
  second.ReadSection("S", keys);
  EXPECT_EQ(Texts(keys), (Names{"b", "a"}));
  TStringList sections = List();
  sections.Add("stale");
  second.ReadSections(sections);
  EXPECT_EQ(Texts(sections), (Names{"S"}));
}

TEST_F(IniFileTest, MissingFileSectionOrKeyReadsEmpty) {
  TIniFile ini(store, kPath);  // no such file
  TStringList list = List();
  list.Add("old");
  ini.ReadSections(list);
  EXPECT_EQ(list.Count(), 0);
  ini.ReadSection("S", list);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(ini.ReadString("S", "k"), "");
  EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
  store.SaveAll();
  EXPECT_EQ(fake.files.count(kPath), 0u) << "reading never creates the file";
}

TEST_F(IniFileTest, SectionValuesFollowTheListsSetValue) {
  // Keys a, b, A with values 1, empty, 1: a=1 is added, then replaced in
  // place under the name A; b adds nothing (and removes the existing b).
  fake.AddFile(kPath, "[S]\r\na=1\r\nb=\r\nA=1\r\n");
  TIniFile ini(store, kPath);
  TStringList list = List();
  list.Add("x=0");
  list.Add("B=9");
  ini.ReadSectionValues("S", list);
  EXPECT_EQ(Texts(list), (Names{"x=0", "A=1"}));
  ini.ReadSectionValues("Missing", list);
  EXPECT_EQ(Texts(list), (Names{"x=0", "A=1"}));
}

// The one-by-one semantics, spelled out with linear lookups.
Names SetValueByValue(Names list, const std::vector<std::pair<std::string, std::string>>& kv,
                      const Collation& coll) {
  for (const auto& [name, value] : kv) {
    int found = -1;
    for (size_t i = 0; i < list.size() && found < 0; ++i) {
      size_t eq = list[i].find('=');
      if (eq != std::string::npos && coll.Compare(list[i].substr(0, eq), name) == 0)
        found = static_cast<int>(i);
    }
    if (!value.empty()) {
      if (found < 0)
        list.push_back(name + "=" + value);
      else
        list[found] = name + "=" + value;
    } else if (found >= 0) {
      list.erase(list.begin() + found);
    }
  }
  return list;
}

TEST_F(IniFileTest, SectionValuesMatchSettingOneByOne) {
  std::mt19937 rng(7);
  const char* names[] = {"a", "A", "b", "B", "c", "ab"};
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  for (int round = 0; round < 300; ++round) {
    std::string text = "[S]\r\n";
    int keys = pick(8);
    for (int k = 0; k < keys; ++k)
      text += std::string(names[pick(6)]) + "=" + (pick(3) ? std::to_string(pick(3)) : "") + "\r\n";
    Names initial;
    int entries = pick(6);
    for (int e = 0; e < entries; ++e)
      initial.push_back(pick(5) ? std::string(names[pick(6)]) + "=" + std::to_string(pick(3))
                                : std::string(names[pick(6)]));
    std::string path = "C:\\Host\\Data\\Template\\r" + std::to_string(round);
    fake.AddFile(path, text);
    TIniFile ini(store, path);
    TStringList list = List();
    for (const std::string& e : initial) list.Add(e);
    ini.ReadSectionValues("S", list);

    std::vector<std::pair<std::string, std::string>> kv;
    TStringList keynames = List();
    ini.ReadSection("S", keynames);
    for (const std::string& k : keynames.Texts()) kv.emplace_back(k, ini.ReadString("S", k));
    ASSERT_EQ(Texts(list), SetValueByValue(initial, kv, fake.UserCollation())) << text;
  }
}

// ---- saving ----

TEST_F(IniFileTest, SaveReplacesAtomicallyAndOnlyWhenBytesDiffer) {
  fake.AddFile(kPath, "[S]\r\nk = v\r\n");
  fake.AddFile(kOther, "[B]\r\nx=1\r\n");
  TIniFile tmpl(store, kPath);
  TIniFile bg(store, kOther);
  tmpl.WriteString("S", "K", "v");  // same value
  bg.DeleteKey("B", "missing");
  bg.DeleteKey("B", "x");
  bg.WriteString("B", "x", "1");  // back where it was
  fake.calls.clear();
  store.SaveAll();
  EXPECT_TRUE(fake.calls.empty()) << fake.calls.front();

  tmpl.WriteString("S", "k", "w");
  store.SaveAll();
  EXPECT_EQ(fake.files[kPath], "[S]\r\nk = w\r\n");
  EXPECT_EQ(fake.calls, (Names{"create " + kPath + ".tmp1", "rename " + kPath + ".tmp1 " + kPath}));
  fake.calls.clear();
  store.SaveAll();  // saved once, nothing left to do
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(IniFileTest, WritesInPlaceWhenNoTemporaryFileCanBeMade) {
  fake.AddFile(kPath, "[S]\r\n");
  fake.no_temp = true;
  TIniFile(store, kPath).WriteString("S", "k", "v");
  store.SaveAll();
  EXPECT_EQ(fake.files[kPath], "[S]\r\nk=v\r\n");
  EXPECT_EQ(fake.calls.back(), "overwrite " + kPath);
}

TEST_F(IniFileTest, UnwritableFileFailsAtTheFirstWriteAndStaysAsItWas) {
  struct Case {
    const char* what;
    std::string path;
  };
  fake.AddFile(kPath, "[S]\r\nk=v\r\n", kAttrReadOnly);
  const Case cases[] = {{"read-only file", kPath}, {"missing directory", "C:\\Nowhere\\x.dat"}};
  for (const Case& c : cases) {
    TIniFile ini(store, c.path);
    ini.DeleteKey("S", "k");  // ignored
    EXPECT_EQ(ini.ReadString("S", "k"), c.path == kPath ? "v" : "") << c.what;
    try {
      ini.WriteString("S", "k", "new");
      ADD_FAILURE() << c.what << ": no failure";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), CannotWrite(c.path)) << c.what;
    }
    EXPECT_THROW(ini.WriteString("T", "k", "again"), Exception) << c.what;
    EXPECT_EQ(ini.ReadString("T", "k"), "") << c.what;
  }
  store.SaveAll();
  EXPECT_EQ(fake.files[kPath], "[S]\r\nk=v\r\n");
  EXPECT_EQ(fake.files.count("C:\\Nowhere\\x.dat"), 0u);
}

TEST_F(IniFileTest, FailedSaveKeepsTheOldBytesAndTriesEveryFile) {
  struct Case {
    const char* what;
    bool FaultyPlatform::*fault;
  };
  const Case cases[] = {{"append fails", &FaultyPlatform::fail_append},
                        {"rename fails", &FaultyPlatform::fail_rename}};
  for (const Case& c : cases) {
    FaultyPlatform sys;
    sys.AddDir("C:\\A");
    sys.AddFile("C:\\A\\1.dat", "[S]\r\nk=1\r\n");
    sys.AddFile("C:\\A\\2.dat", "[S]\r\nk=2\r\n");
    CatalogueStore st(sys);
    TIniFile(st, "C:\\A\\1.dat").WriteString("S", "k", "x");
    TIniFile(st, "C:\\A\\2.dat").WriteString("S", "k", "y");
    sys.*c.fault = true;
    try {
      st.SaveAll();
      ADD_FAILURE() << c.what << ": no failure";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), CannotWrite("C:\\A\\1.dat")) << c.what;
    }
    EXPECT_EQ(sys.files["C:\\A\\1.dat"], "[S]\r\nk=1\r\n") << c.what;
    EXPECT_EQ(sys.files["C:\\A\\2.dat"], "[S]\r\nk=2\r\n") << c.what;
    EXPECT_FALSE(sys.HasTempFiles()) << c.what;
    int tries = 0;
    for (const std::string& call : sys.calls) tries += call.rfind("create ", 0) == 0;
    EXPECT_EQ(tries, 2) << c.what;
    // Once the fault is gone the changes are still there to be saved.
    sys.*c.fault = false;
    st.SaveAll();
    EXPECT_EQ(sys.files["C:\\A\\1.dat"], "[S]\r\nk=x\r\n") << c.what;
  }
}

TEST_F(IniFileTest, UnreadableCatalogueIsAFailure) {
  fake.AddDir(kPath);  // a directory where the file should be
  fake.AddFile(kOther, "[B]\r\n");
  fake.unreadable = kOther;
  for (const std::string& path : {kPath, kOther}) {
    TIniFile ini(store, path);
    try {
      ini.ReadString("S", "k");
      ADD_FAILURE() << path;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), FormatWithString(J("%s を読み込めません"), path));
    }
    EXPECT_THROW(ini.WriteString("S", "k", "v"), Exception);
  }
  store.SaveAll();
  EXPECT_EQ(fake.files[kOther], "[B]\r\n");
}

}  // namespace
}  // namespace extmerge

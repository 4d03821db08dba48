#include "UDatUpdater.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "Resources.h"
#include "platform/SystemPlatform.h"
#include "support/FakePlatform.h"
#include "support/Text.h"

namespace extmerge {
namespace {

using test::J;

const std::string kSrc = "C:\\Host\\Data\\ExtContents\\Foo\\Cat.dat";
const std::string kDst = "C:\\Host\\Data\\Cat.dat";

// "a|b|c" -> {"a", "b", "c"}; the empty text -> {}.
std::vector<std::string> Bars(const std::string& text) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  size_t from = 0;
  for (;;) {
    size_t bar = text.find('|', from);
    out.push_back(text.substr(from, bar - from));
    if (bar == std::string::npos) return out;
    from = bar + 1;
  }
}

// prefix followed by the number.
std::string Numbered(const char* prefix, size_t n) {
  std::string out = prefix;
  out += std::to_string(n);
  return out;
}

std::string JoinBars(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "|" : "") + parts[i];
  return out;
}

// ---------------------------------------------------------------------------
// Marker

TEST(HasMarker, MatchesOnlyWholeCharactersByteForByte) {
  const std::string marker = J("追加素材");
  EXPECT_TRUE(HasMarker(J("m=追加素材1"), marker));
  EXPECT_TRUE(HasMarker(marker, marker));
  EXPECT_TRUE(HasMarker(J("追加素材=x"), marker));
  EXPECT_FALSE(HasMarker(J("m=追加素"), marker));
  EXPECT_FALSE(HasMarker("", marker));
  // 0x82 0x92 is one character: the marker's bytes after it start inside it.
  EXPECT_FALSE(HasMarker("\x82" + marker, marker));
  EXPECT_TRUE(HasMarker("\x82\x92" + marker, marker));
  // Case-sensitive, unlike every comparison of entries.
  EXPECT_TRUE(HasMarker("x=Mark", "Mark"));
  EXPECT_FALSE(HasMarker("x=MARK", "Mark"));
}

// ---------------------------------------------------------------------------
// Catalogues on the in-memory platform, through the real catalogue layer.

class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest() {
    fs_.AddDir("C:\\Host");
    fs_.AddDir("C:\\Host\\Data");
    fs_.AddDir("C:\\Host\\Data\\ExtContents");
    fs_.AddDir("C:\\Host\\Data\\ExtContents\\Foo");
  }
  // Lines in UTF-8, written as code page 932 with CR LF.
  static std::string File(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& l : lines) out += J(l) + "\r\n";
    return out;
  }
  // The section's key lines, "k=v|k=v", in file order.
  std::string KeyLines(const std::string& path, const std::string& section) {
    TIniFile ini(store_, path);
    TStringList keys(fs_.UserCollation());
    ini.ReadSection(section, keys);
    std::vector<std::string> lines;
    for (const std::string& k : keys.Texts()) lines.push_back(k + "=" + ini.ReadString(section, k));
    return JoinBars(lines);
  }
  std::string Sections(const std::string& path) {
    TIniFile ini(store_, path);
    TStringList names(fs_.UserCollation());
    ini.ReadSections(names);
    return JoinBars(names.Texts());
  }
  template <class Updater>
  void Merge() {
    Updater updater(store_, kSrc, kDst);
    updater.Update();
  }
  std::string Saved(const std::string& path) {
    store_.SaveAll();
    return fs_.files[path];
  }

  test::FakePlatform fs_;
  CatalogueStore store_{fs_};
};

TEST_F(CatalogueTest, NothingHappensUnlessBothFilesExist) {
  const std::string host = File({"[S]", "Name=a", "Dir=d"});
  struct Case {
    const char* what;
    bool src_file, dst_file;
  };
  for (const Case& c :
       {Case{"source missing", false, true}, Case{"destination missing", true, false}}) {
    SCOPED_TRACE(c.what);
    test::FakePlatform fs;
    fs.AddDir("C:\\Host");
    fs.AddDir("C:\\Host\\Data");
    fs.AddDir("C:\\Host\\Data\\ExtContents");
    fs.AddDir("C:\\Host\\Data\\ExtContents\\Foo");
    if (c.src_file) fs.AddFile(kSrc, File({"[S]", "Name=b", "Dir=e"}));
    if (c.dst_file) fs.AddFile(kDst, host);
    CatalogueStore store(fs);
    TTemplateDatUpdater(store, kSrc, kDst).Update();
    TBackGroundDatUpdater(store, kSrc, kDst).Update();
    store.SaveAll();
    for (const std::string& call : fs.calls) EXPECT_NE(call.rfind("read ", 0), 0u) << call;
    if (c.dst_file) {
      EXPECT_EQ(fs.files[kDst], host);
    }
    EXPECT_EQ(fs.files.count(kDst), c.dst_file ? 1u : 0u);
  }
}

// A directory in place of either catalogue is no missing file: reading it
// fails, naming it, before anything is read or written.
TEST_F(CatalogueTest, DirectoryInPlaceOfACatalogueIsAReadFailure) {
  for (const std::string& dir : {kSrc, kDst}) {
    SCOPED_TRACE(dir);
    test::FakePlatform fs;
    fs.AddDir("C:\\Host");
    fs.AddDir("C:\\Host\\Data");
    fs.AddDir("C:\\Host\\Data\\ExtContents");
    fs.AddDir("C:\\Host\\Data\\ExtContents\\Foo");
    fs.AddFile(kSrc, File({"[S]", "Name=b", "Dir=e"}));
    fs.AddFile(kDst, File({"[S]", "Name=a", "Dir=d"}));
    fs.files.erase(dir);
    fs.attrs[dir] = kAttrDirectory;
    CatalogueStore store(fs);
    try {
      TTemplateDatUpdater(store, kSrc, kDst).Update();
      ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), FormatWithString(fs.LoadResString(IDS_CANNOT_READ), dir));
    }
    for (const std::string& call : fs.calls) EXPECT_NE(call.rfind("read ", 0), 0u) << call;
  }
}

// The merge of one section, written as entries name=dir of the template
// catalogue. nullptr: the section is absent from that file.
struct MergeCase {
  const char* what;
  const char* host;
  const char* source;
  const char* expected;
};

class TemplateMergeTest : public CatalogueTest, public ::testing::WithParamInterface<MergeCase> {
 protected:
  // "[S]" with the entries' names and dirs as the two lists.
  static std::vector<std::string> TemplateSection(const char* entries) {
    std::vector<std::string> names, dirs;
    for (const std::string& e : Bars(entries)) {
      size_t eq = e.find('=');
      names.push_back(e.substr(0, eq));
      dirs.push_back(e.substr(eq + 1));
    }
    auto join = [](const std::vector<std::string>& v) {
      std::string s;
      for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + v[i];
      return s;
    };
    return {"[S]", "Name=" + join(names), "Dir=" + join(dirs)};
  }
  // The host keeps another section before S; the source has S alone, or
  // only another section T when S is absent from it.
  static std::string Catalogue(const char* entries, const char* other) {
    std::string out = *other ? File({other}) : std::string();
    if (entries) {
      for (const std::string& l : TemplateSection(entries)) out += J(l) + "\r\n";
    }
    return out;
  }
};

TEST_P(TemplateMergeTest, Section) {
  const MergeCase& c = GetParam();
  fs_.AddFile(kDst, Catalogue(c.host, "[Other]\r\nKeep=1"));
  fs_.AddFile(kSrc, Catalogue(c.source, c.source ? "" : "[T]\r\nName=q\r\nDir=r"));
  const std::string before = KeyLines(kDst, "S");
  Merge<TTemplateDatUpdater>();
  EXPECT_EQ(KeyLines(kDst, "Other"), "Keep=1");
  if (!c.source) {
    EXPECT_EQ(KeyLines(kDst, "S"), before);
    EXPECT_EQ(Sections(kDst), "Other|S|T");
    return;
  }
  std::vector<std::string> want = TemplateSection(c.expected);
  EXPECT_EQ(KeyLines(kDst, "S"), J(want[1] + "|" + want[2]));
  // A section the host lacked is added at the end of the file.
  EXPECT_EQ(Sections(kDst), "Other|S");
}

INSTANTIATE_TEST_SUITE_P(
    Table, TemplateMergeTest,
    ::testing::Values(
        MergeCase{"marked entries move into the sorted block", "x=1|m=追加素材1|y=2",
                  "m=追加素材1|n=追加素材0", "x=1|y=2|m=追加素材1|n=追加素材0"},
        // Of equal marked host entries, the one nearest the end stays.
        MergeCase{"repeated marked entries", "B=追加素材|b=追加素材", "", "b=追加素材"},
        MergeCase{"present whatever its case", "a=DIR", "A=dir", "a=DIR"},
        MergeCase{"section absent from the host", nullptr, "p=2|o=1", "o=1|p=2"},
        MergeCase{"section absent from the source", "a=1|m=追加素材", nullptr, nullptr},
        // Equal new source entries are all kept; an unmarked one joins the
        // block too, while a source copy of a marked host entry counts as
        // present whatever its case.
        MergeCase{"source tie-breaks", "z=1|a=追加素材|y=0", "c=x|A=追加素材|C=X|b=2",
                  "z=1|y=0|a=追加素材|b=2|c=x|C=X"},
        // What an earlier run added unmarked stays where it is.
        MergeCase{"unmarked earlier additions stay", "m=追加素材|u=1|k=追加素材", "",
                  "u=1|k=追加素材|m=追加素材"},
        // A name may hold "="; it is compared as the whole entry but
        // written back whole.
        MergeCase{"name holding =", "c=追加素材", "a=b=d追加素材", "a=b=d追加素材|c=追加素材"}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += isalnum(*p) ? *p : '_';
      return name;
    });

TEST_F(CatalogueTest, TemplateSectionWithoutListsGetsBothKeysEmpty) {
  fs_.AddFile(kDst, File({"[Other]", "Keep=1"}));
  fs_.AddFile(kSrc, File({"[S]", "Other=1"}));
  Merge<TTemplateDatUpdater>();
  EXPECT_EQ(KeyLines(kDst, "S"), "Name=|Dir=");
  EXPECT_EQ(Sections(kDst), "Other|S");
}

// ReadEntries and WriteEntries of the template catalogue on their own.
class TemplateProbe : public TTemplateDatUpdater {
 public:
  using TTemplateDatUpdater::ReadEntries;
  using TTemplateDatUpdater::TTemplateDatUpdater;
  using TTemplateDatUpdater::WriteEntries;
};

TEST_F(CatalogueTest, TemplateListsBecomeEntriesAndBack) {
  struct Case {
    const char* name;  // nullptr: key absent
    const char* dir;
    const char* entries;  // or the failure's index in brackets
    const char* written_name;
    const char* written_dir;
  };
  const Case cases[] = {
      {"a,b", "d1,d2", "a=d1|b=d2", "a,b", "d1,d2"},
      {"a,,b", "d1,d2", "a=d1|b=d2", "a,b", "d1,d2"},
      {"a,b,c", "d1,d2", "[2]", nullptr, nullptr},
      {"a,b,c", nullptr, "[0]", nullptr, nullptr},
      {"a", "d1,d2", "a=d1", "a", "d1"},
      {nullptr, nullptr, "", "", ""},
      // Every entry keeps its own name and directory.
      {"t,T", "d1,d2", "t=d1|T=d2", "t,T", "d1,d2"},
      {"a=b,c", "d,e", "a=b=d|c=e", "a=b,c", "d,e"},
      {"\"x,y\",z", "1,2", "\"x,y\"=1|z=2", "\"x,y\",z", "1,2"},
  };
  std::string text = "[Other]\r\n";
  for (size_t i = 0; i < std::size(cases); ++i) {
    text += "[";
    text += Numbered("R", i);
    text += "]\r\n";
    if (cases[i].name) text += std::string("Name=") + cases[i].name + "\r\n";
    if (cases[i].dir) text += std::string("Dir=") + cases[i].dir + "\r\n";
  }
  fs_.AddFile(kDst, text);
  fs_.AddFile(kSrc, "");
  TemplateProbe probe(store_, kSrc, kDst);
  TIniFile ini(store_, kDst);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.entries);
    const std::string section = Numbered("R", i);
    TStringList list(fs_.UserCollation());
    if (c.entries[0] == '[') {
      std::string index(c.entries + 1, strlen(c.entries) - 2);
      try {
        probe.ReadEntries(list, ini, section);
        ADD_FAILURE() << "no failure";
      } catch (const EStringListError& e) {
        EXPECT_EQ(e.Message(), J("リストのインデックスが範囲を超えています (" + index + ")"));
      }
      continue;
    }
    probe.ReadEntries(list, ini, section);
    EXPECT_EQ(JoinBars(list.Texts()), c.entries);
    const std::string out = Numbered("W", i);
    probe.WriteEntries(list, ini, out);
    EXPECT_EQ(KeyLines(kDst, out), std::string("Name=") + c.written_name + "|Dir=" + c.written_dir);
  }
}

TEST_F(CatalogueTest, ShortDirListEndsTheMergeBeforeTheSectionIsWritten) {
  fs_.AddFile(kDst, File({"[A]", "Name=h", "Dir=1", "[B]", "Name=h", "Dir=1"}));
  fs_.AddFile(kSrc, File({"[A]", "Name=n", "Dir=2", "[B]", "Name=x,y,z", "Dir=1,2"}));
  try {
    Merge<TTemplateDatUpdater>();
    ADD_FAILURE() << "no failure";
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), J("リストのインデックスが範囲を超えています (2)"));
  }
  EXPECT_EQ(KeyLines(kDst, "A"), "Name=h,n|Dir=1,2");
  EXPECT_EQ(KeyLines(kDst, "B"), "Name=h|Dir=1");
}

class BackGroundMergeTest : public CatalogueTest,
                            public ::testing::WithParamInterface<MergeCase> {};

TEST_P(BackGroundMergeTest, Section) {
  const MergeCase& c = GetParam();
  auto catalogue = [](const char* lines) {
    std::string out = File({"[Other]", "Keep=1"});
    if (lines) {
      out += "[S]\r\n";
      for (const std::string& l : Bars(lines)) out += J(l) + "\r\n";
    }
    return out;
  };
  fs_.AddFile(kDst, catalogue(c.host));
  fs_.AddFile(kSrc, catalogue(c.source));
  Merge<TBackGroundDatUpdater>();
  EXPECT_EQ(KeyLines(kDst, "S"), J(c.expected));
  EXPECT_EQ(Sections(kDst), "Other|S");
}

INSTANTIATE_TEST_SUITE_P(Table, BackGroundMergeTest,
                         ::testing::Values(
                             // Keys with an empty value stay first, untouched by the merge.
                             MergeCase{"empty value stays first", "a=1|e=|m=追加素材",
                                       "n=追加素材2", "e=|a=1|m=追加素材|n=追加素材2"},
                             MergeCase{"section added at the end", nullptr,
                                       "q=追加素材2|p=追加素材1", "p=追加素材1|q=追加素材2"},
                             // Both keys look their value up by name and find the first.
                             MergeCase{"keys equal ignoring case", "k=追加素材1", "K=追加素材2",
                                       "K=追加素材1"},
                             MergeCase{"present whatever its case", "a=DIR|z=追加素材",
                                       "A=dir|y=追加素材", "a=DIR|y=追加素材|z=追加素材"}),
                         [](const auto& info) {
                           std::string name;
                           for (const char* p = info.param.what; *p; ++p)
                             name += isalnum(*p) ? *p : '_';
                           return name;
                         });

// ---------------------------------------------------------------------------
// The fast merge against the merge steps done the plain way.

struct Entry {
  std::string text;
  int split;
  bool operator==(const Entry&) const = default;
};
using Entries = std::vector<Entry>;

// Reads and writes entry lists kept in memory, so that only the merge is
// under test.
class MemoryUpdater : public TDatUpdater {
 public:
  MemoryUpdater(CatalogueStore& store, Entries src, Entries dst)
      : TDatUpdater(store, kSrc, kDst), src_(std::move(src)), dst_(std::move(dst)) {}
  Entries Merge() {
    MergeSection("S");
    return written_;
  }

 protected:
  void ReadEntries(TStringList& list, TIniFile& ini, const std::string&) override {
    for (const Entry& e : &ini == FSrcIni.get() ? src_ : dst_) list.Add(e.text, e.split);
  }
  void WriteEntries(TStringList& list, TIniFile&, const std::string&) override {
    written_.clear();
    for (int i = 0; i < list.Count(); ++i) written_.push_back({list.Get(i), list.SplitAt(i)});
  }

 private:
  Entries src_, dst_;
  Entries written_;
};

// Step by step: linear searches, deletion from the end, one sorted
// insertion per marked entry.
Entries ReferenceMerge(const Collation& c, const Entries& src, const Entries& dst,
                       const std::string& marker) {
  auto equal = [&](const Entry& a, const Entry& b) { return c.Compare(a.text, b.text) == 0; };
  Entries added = src;
  for (int i = static_cast<int>(added.size()) - 1; i >= 0; --i) {
    for (const Entry& d : dst) {
      if (equal(d, added[i])) {
        added.erase(added.begin() + i);
        break;
      }
    }
  }
  std::stable_sort(added.begin(), added.end(),
                   [&](const Entry& a, const Entry& b) { return c.Compare(a.text, b.text) < 0; });
  Entries kept = dst;
  for (int i = static_cast<int>(kept.size()) - 1; i >= 0; --i) {
    if (!HasMarker(kept[i].text, marker)) continue;
    if (std::none_of(added.begin(), added.end(),
                     [&](const Entry& a) { return equal(a, kept[i]); })) {
      auto after = std::find_if(added.begin(), added.end(), [&](const Entry& a) {
        return c.Compare(a.text, kept[i].text) > 0;
      });
      added.insert(after, kept[i]);
    }
    kept.erase(kept.begin() + i);
  }
  kept.insert(kept.end(), added.begin(), added.end());
  return kept;
}

TEST_F(CatalogueTest, FastMergeGivesTheStepByStepResult) {
  fs_.AddFile(kSrc, "");
  fs_.AddFile(kDst, "");
  const std::string marker = J("追加素材");
  // Few letters in both cases: many entries equal ignoring case, many equal
  // byte for byte, and the marker in some.
  const std::string parts[] = {"a", "A", "b", "B", "=", marker, "\x82", "1"};
  std::mt19937 rng(99);
  auto entries = [&](int max) {
    Entries out;
    for (int n = static_cast<int>(rng() % (max + 1)); n > 0; --n) {
      std::string t;
      for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k)
        t += parts[rng() % std::size(parts)];
      out.push_back({t, static_cast<int>(rng() % 4) - 1});
    }
    return out;
  };
  for (int round = 0; round < 400; ++round) {
    const int max = round % 50 == 0 ? 400 : 40;
    Entries src = entries(max);
    Entries dst = entries(max);
    MemoryUpdater updater(store_, src, dst);
    ASSERT_EQ(updater.Merge(), ReferenceMerge(fs_.UserCollation(), src, dst, marker))
        << "round " << round;
  }
}

// ---------------------------------------------------------------------------
// Random catalogues: the merge settles after one run.

TEST_F(CatalogueTest, SecondRunOverTheSameContentChangesNothing) {
  const Collation& fold = fs_.UserCollation();
  const std::string marker = J("追加素材");
  std::mt19937 rng(4242);
  auto pick = [&](std::initializer_list<const char*> from) {
    return std::string(from.begin()[rng() % from.size()]);
  };
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    // Host entries end in x/X/y, source entries in s/S/t: a block entry's
    // origin shows in its last byte.
    Entries host, source;
    for (int n = static_cast<int>(rng() % 25); n > 0; --n) {
      std::string name = pick({"a", "A", "b", "B", "ab", "aB"});
      std::string dir = (rng() % 2 ? marker : std::string("d")) + pick({"x", "X", "y"});
      host.push_back({name + "=" + dir, static_cast<int>(name.size())});
    }
    for (int n = static_cast<int>(rng() % 15); n > 0; --n) {
      std::string name = pick({"a", "A", "b", "B", "ab", "c"});
      std::string dir = marker + pick({"s", "S", "t"});
      Entry e{name + "=" + dir, static_cast<int>(name.size())};
      // A copy of a marked host entry, in another case, now and then.
      if (!host.empty() && rng() % 4 == 0) {
        const Entry& h = host[rng() % host.size()];
        if (HasMarker(h.text, marker)) {
          e = h;
          e.text[0] ^= 0x20;
        }
      }
      // A catalogue names each template once: entries equal ignoring case
      // would all be added (equal new entries are all kept), and the
      // next run would then drop all but one of them.
      bool repeated = std::any_of(source.begin(), source.end(), [&](const Entry& s) {
        return fold.Compare(s.text, e.text) == 0;
      });
      if (!repeated) source.push_back(e);
    }
    auto catalogue = [](const Entries& entries) {
      std::string names, dirs;
      for (const Entry& e : entries) {
        if (!names.empty()) {
          names += ',';
          dirs += ',';
        }
        names.append(e.text, 0, e.split);
        dirs.append(e.text, e.split + 1);
      }
      return "[S]\r\nName=" + names + "\r\nDir=" + dirs + "\r\n";
    };
    test::FakePlatform fs;
    fs.AddDir("C:\\Host");
    fs.AddDir("C:\\Host\\Data");
    fs.AddDir("C:\\Host\\Data\\ExtContents");
    fs.AddDir("C:\\Host\\Data\\ExtContents\\Foo");
    fs.AddFile(kDst, catalogue(host));
    fs.AddFile(kSrc, catalogue(source));
    {
      CatalogueStore store(fs);
      TTemplateDatUpdater(store, kSrc, kDst).Update();
      store.SaveAll();
    }
    const std::string once = fs.files[kDst];
    {
      CatalogueStore store(fs);
      TTemplateDatUpdater(store, kSrc, kDst).Update();
      store.SaveAll();
    }
    EXPECT_EQ(fs.files[kDst], once);

    // Unmarked host entries first, in their order; then a sorted block.
    CatalogueStore store(fs);
    TIniFile ini(store, kDst);
    TStringList merged(fold);
    TemplateProbe(store, kSrc, kDst).ReadEntries(merged, ini, "S");
    size_t at = 0;
    for (const Entry& h : host) {
      if (HasMarker(h.text, marker)) continue;
      ASSERT_LT(at, merged.Texts().size());
      EXPECT_EQ(merged.Get(static_cast<int>(at++)), h.text);
    }
    const std::vector<std::string> block(merged.Texts().begin() + at, merged.Texts().end());
    for (size_t i = 0; i < block.size(); ++i) {
      EXPECT_TRUE(HasMarker(block[i], marker)) << block[i];
      if (i > 0) {
        EXPECT_LE(fold.Compare(block[i - 1], block[i]), 0) << block[i];
      }
      for (size_t j = i + 1; j < block.size(); ++j) {
        bool both_host = strchr("xXy", block[i].back()) && strchr("xXy", block[j].back());
        EXPECT_FALSE(both_host && fold.Compare(block[i], block[j]) == 0)
            << block[i] << " " << block[j];
      }
    }
    // No marked host entry is lost: an equal one is in the block.
    for (const Entry& h : host) {
      if (!HasMarker(h.text, marker)) continue;
      EXPECT_TRUE(std::any_of(block.begin(), block.end(), [&](const std::string& b) {
        return fold.Compare(b, h.text) == 0;
      })) << h.text;
    }
  }
}

// ---------------------------------------------------------------------------
// Real files and the system's own locale comparison.

class RealFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    dir_ = std::filesystem::temp_directory_path() /
           Numbered("extmerge-merge-", seed() * 65536ull + seed());
    ASSERT_TRUE(std::filesystem::create_directory(dir_));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  // The file's path as the tool forms it ("\" separators; the posix layer
  // maps them back).
  std::string Tool(const char* name) const {
    std::string p = (dir_ / name).string();
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }
  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string Read(const char* name) const {
    std::ifstream f(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  template <class Updater>
  void Run(const char* src, const char* dst) {
    CatalogueStore store(*sys_);
    Updater(store, Tool(src), Tool(dst)).Update();
    store.SaveAll();
  }

  std::filesystem::path dir_;
  std::unique_ptr<Platform> sys_ = MakeSystemPlatform(0, nullptr);
};

TEST_F(RealFilesTest, TemplateMergeComparesAsTheUserLocale) {
  Write("host.dat", J("[S]\r\nName=a,ｱ,x\r\nDir=DIR,追加素材1,1\r\n"));
  Write("src.dat", J("[S]\r\nName=A,ア,あ\r\nDir=dir,追加素材1,追加素材2\r\n"));
  Run<TTemplateDatUpdater>("src.dat", "host.dat");
  const std::string once = Read("host.dat");

  {
    // Its own store: the probe's updater holds the host file's update lock
    // until the store goes, and the second run below needs it.
    CatalogueStore store(*sys_);
    TIniFile ini(store, Tool("host.dat"));
    TStringList merged(sys_->UserCollation());
    TemplateProbe(store, Tool("src.dat"), Tool("host.dat")).ReadEntries(merged, ini, "S");
    // Letter case is ignored; width and kana type are not: the source's A is
    // present, its full-width katakana and its hiragana are new.
    ASSERT_EQ(merged.Count(), 5);
    EXPECT_EQ(merged.Get(0), "a=DIR");
    EXPECT_EQ(merged.Get(1), "x=1");
    std::vector<std::string> block(merged.Texts().begin() + 2, merged.Texts().end());
    for (size_t i = 1; i < block.size(); ++i)
      EXPECT_LT(sys_->UserCollation().Compare(block[i - 1], block[i]), 0);
    std::sort(block.begin(), block.end());
    std::vector<std::string> expected = {J("ｱ=追加素材1"), J("ア=追加素材1"), J("あ=追加素材2")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(block, expected);
  }

  Run<TTemplateDatUpdater>("src.dat", "host.dat");
  EXPECT_EQ(Read("host.dat"), once);
}

TEST_F(RealFilesTest, BackGroundMergeRewritesKeysInListOrder) {
  Write("host.dat", J("[S]\r\nk=追加素材1\r\ne=\r\na=1\r\n"));
  Write("src.dat", J("[S]\r\nK=追加素材2\r\n"));
  Run<TBackGroundDatUpdater>("src.dat", "host.dat");
  CatalogueStore store(*sys_);
  TIniFile ini(store, Tool("host.dat"));
  TStringList keys(sys_->UserCollation());
  ini.ReadSection("S", keys);
  std::vector<std::string> lines;
  for (const std::string& k : keys.Texts()) lines.push_back(k + "=" + ini.ReadString("S", k));
  EXPECT_EQ(JoinBars(lines), J("e=|a=1|K=追加素材1"));
}

}  // namespace
}  // namespace extmerge

#include "StringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "support/FakePlatform.h"
#include "support/Text.h"

namespace extmerge {
namespace {

using test::AsciiFoldCollation;
using test::J;

class StringListTest : public ::testing::Test {
 protected:
  TStringList Make(std::initializer_list<const char*> texts) {
    TStringList list(fold_);
    for (const char* t : texts) list.Add(t);
    return list;
  }
  AsciiFoldCollation fold_;
};

std::string IndexMessage(int index) {
  return J("リストのインデックスが範囲を超えています (") + std::to_string(index) + ")";
}

TEST_F(StringListTest, OutsideTheListRaisesTheIndexMessage) {
  TStringList list = Make({"a", "b", "c"});
  struct Case {
    const char* what;
    int index;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"Get past end", 3, [&] { list.Get(3); }},
      {"Get negative", -1, [&] { list.Get(-1); }},
      {"Delete past end", 3, [&] { list.Delete(3); }},
      {"Delete negative", -1, [&] { list.Delete(-1); }},
      {"Put past end", 7, [&] { list.Put(7, "x"); }},
      {"SplitAt past end", 3, [&] { list.SplitAt(3); }},
      {"NameOf past end", 4, [&] { list.NameOf(4); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.call();
      ADD_FAILURE() << "no failure raised";
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), IndexMessage(c.index));
    }
  }
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(StringListTest, EditsKeepOrderAndMoveLaterEntriesDown) {
  TStringList list = Make({"a", "b", "c", "d"});
  list.Delete(1);
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"a", "c", "d"}));
  list.Put(0, "z");
  list.Add("b");
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"z", "c", "d", "b"}));
  list.Compact({true, false, true});  // entries past the end of keep stay
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"z", "d", "b"}));
}

TEST_F(StringListTest, WholeEntryLookupFindsTheFirstEqualIgnoringCase) {
  TStringList list = Make({"x=1", "A=b", "a=B", "a=b"});
  EXPECT_EQ(list.IndexOf("a=b"), 1);
  EXPECT_EQ(list.IndexOf("X=1"), 0);
  EXPECT_EQ(list.IndexOf("a="), -1);
  EXPECT_EQ(list.IndexOf("a=bc"), -1);
  // The index follows edits.
  list.Delete(1);
  EXPECT_EQ(list.IndexOf("a=b"), 1);
  list.Put(0, "A=B");
  EXPECT_EQ(list.IndexOf("a=b"), 0);
}

TEST_F(StringListTest, NameLookup) {
  TStringList list = Make({"key", "=empty", "Key=1", "key=2", "k=v=w"});
  // An entry without "=" has no name and never matches, even the name it spells.
  EXPECT_EQ(list.IndexOfName("key"), 2);
  EXPECT_EQ(list.Values("KEY"), "1");
  EXPECT_EQ(list.IndexOfName(""), 1);
  EXPECT_EQ(list.Values(""), "empty");
  EXPECT_EQ(list.Values("k"), "v=w");  // the name ends at the first "="
  EXPECT_EQ(list.IndexOfName("k=v"), -1);
  EXPECT_EQ(list.IndexOfName("missing"), -1);
  EXPECT_EQ(list.Values("missing"), "");
  list.Delete(2);
  EXPECT_EQ(list.Values("key"), "2");
}

TEST_F(StringListTest, ValueStartsAfterTheRequestedNamesLength) {
  // The value is cut by the length of the name asked for, not of the name
  // found; with a comparison that finds names of another length equal, the
  // cut follows the request.
  class IgnoreDash : public Collation {
   public:
    int Compare(std::string_view a, std::string_view b) const override {
      auto strip = [](std::string_view s) {
        std::string out;
        for (char c : s)
          if (c != '-') out += c;
        return out;
      };
      return strip(a).compare(strip(b));
    }
    std::string Key(std::string_view text) const override {
      std::string out;
      for (char c : text)
        if (c != '-') out += c;
      return out;
    }
    int CompareKeys(std::string_view ka, std::string_view kb) const override {
      return ka.compare(kb);
    }
  } collation;
  TStringList list(collation);
  list.Add("a-b=value");
  EXPECT_EQ(list.Values("ab"), "=value");
  EXPECT_EQ(list.Values("a--b"), "alue");
  EXPECT_EQ(list.Values("a-b------"), "");
}

TEST_F(StringListTest, SplitPositionChoosesNameAndValue) {
  TStringList list(fold_);
  list.Add("a=b=d", 3);
  list.Add("a=b=d");
  list.Add("plain");
  list.Add("k=", 1);
  EXPECT_EQ(list.NameOf(0), "a=b");
  EXPECT_EQ(list.ValueOf(0), "d");
  EXPECT_EQ(list.NameOf(1), "a");
  EXPECT_EQ(list.ValueOf(1), "b=d");
  EXPECT_EQ(list.NameOf(2), "");
  EXPECT_EQ(list.ValueOf(2), "");
  EXPECT_EQ(list.NameOf(3), "k");
  EXPECT_EQ(list.ValueOf(3), "");
  // Name lookup always splits at the first "=".
  EXPECT_EQ(list.IndexOfName("a"), 0);
  EXPECT_EQ(list.IndexOfName("a=b"), -1);
}

TEST_F(StringListTest, SplitPositionTravelsWithItsEntry) {
  TStringList list(fold_);
  list.Add("c=x=1", 3);
  list.Add("b=2");
  list.Add("a=y=3", 3);
  list.SortAndIgnoreDuplicates();
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"a=y=3", "b=2", "c=x=1"}));
  EXPECT_EQ(list.SplitAt(0), 3);
  EXPECT_EQ(list.SplitAt(1), -1);
  EXPECT_EQ(list.SplitAt(2), 3);
  list.Compact({false, true, true});
  EXPECT_EQ(list.NameOf(1), "c=x");
  TStringList more(fold_);
  more.Add("bb=z=4", 4);
  list.AddAll(more);
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"b=2", "bb=z=4", "c=x=1"}));
  EXPECT_EQ(list.NameOf(1), "bb=z");
  TStringList plain(fold_);
  plain.AddAll(list);
  EXPECT_EQ(plain.NameOf(2), "c=x");
}

TEST_F(StringListTest, SortedListKeepsEqualEntriesAndIgnoresNewOnes) {
  TStringList list = Make({"b", "B", "a", "c", "b"});
  list.SortAndIgnoreDuplicates();
  ASSERT_TRUE(list.Sorted());
  // Equal entries already present stay, in their former order.
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"a", "b", "B", "b", "c"}));
  list.Add("A");
  list.Add("bb");
  list.Add("0");
  list.Add("d");
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"0", "a", "b", "B", "b", "bb", "c", "d"}));
  EXPECT_EQ(list.IndexOf("B"), 2);
}

// Random lists over a tiny alphabet: many entries equal ignoring case, some
// without "=", some with an empty name.
std::string RandomEntry(std::mt19937& rng) {
  static const char* parts[] = {"a", "A", "b", "B", "=", "=", "1"};
  std::uniform_int_distribution<int> len(0, 5);
  std::uniform_int_distribution<int> pick(0, 6);
  std::string s;
  for (int n = len(rng); n > 0; --n) s += parts[pick(rng)];
  return s;
}

TEST_F(StringListTest, IndexedLookupsAnswerAsALinearScan) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 200; ++round) {
    TStringList list(fold_);
    std::vector<std::string> texts;
    for (int n = rng() % 30; n > 0; --n) {
      texts.push_back(RandomEntry(rng));
      list.Add(texts.back());
    }
    if (round % 3 == 0 && list.Count() > 0) {  // lookups after an edit
      int at = static_cast<int>(rng() % list.Count());
      list.Delete(at);
      texts.erase(texts.begin() + at);
    }
    if (round % 4 == 1) {  // lookups in a sorted list
      list.SortAndIgnoreDuplicates();
      texts = list.Texts();
    }
    for (int q = 0; q < 20; ++q) {
      std::string probe = RandomEntry(rng);
      int first = -1;
      int named = -1;
      for (size_t i = 0; i < texts.size() && (first < 0 || named < 0); ++i) {
        if (first < 0 && fold_.Compare(texts[i], probe) == 0) first = static_cast<int>(i);
        size_t eq = texts[i].find('=');
        if (named < 0 && eq != std::string::npos &&
            fold_.Compare(std::string_view(texts[i]).substr(0, eq), probe) == 0)
          named = static_cast<int>(i);
      }
      ASSERT_EQ(list.IndexOf(probe), first) << probe;
      ASSERT_EQ(list.IndexOfName(probe), named) << probe;
      std::string value;
      if (named >= 0 && probe.size() + 1 < texts[named].size())
        value = texts[named].substr(probe.size() + 1);
      ASSERT_EQ(list.Values(probe), value) << probe;
    }
    // An entry's own name, looked up by the key the entry already has.
    for (int i = 0; i < list.Count(); ++i) {
      const std::string& text = list.Get(i);
      size_t eq = text.find('=');
      ASSERT_EQ(list.ValuesOfNameAt(i),
                list.Values(eq == std::string::npos ? std::string() : text.substr(0, eq)))
          << text;
    }
  }
}

TEST_F(StringListTest, AddAllOnASortedListEqualsAddingOneByOne) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    TStringList fast(fold_);
    TStringList slow(fold_);
    for (int n = rng() % 20; n > 0; --n) {
      std::string t = RandomEntry(rng);
      fast.Add(t);
      slow.Add(t);
    }
    fast.SortAndIgnoreDuplicates();
    slow.SortAndIgnoreDuplicates();
    // Others in random order, and already ascending or descending (with
    // equal entries in them), which are not sorted again.
    std::vector<std::string> texts;
    for (int n = rng() % 20; n > 0; --n) texts.push_back(RandomEntry(rng));
    if (round % 3 != 0) {
      std::stable_sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
        return fold_.Compare(a, b) < 0;
      });
    }
    if (round % 3 == 2) std::reverse(texts.begin(), texts.end());
    TStringList more(fold_);
    for (const std::string& t : texts) more.Add(t, static_cast<int>(rng() % 3) - 1);
    fast.AddAll(more);
    for (int i = 0; i < more.Count(); ++i) slow.Add(more.Get(i), more.SplitAt(i));
    ASSERT_EQ(fast.Texts(), slow.Texts());
    for (int i = 0; i < fast.Count(); ++i) ASSERT_EQ(fast.SplitAt(i), slow.SplitAt(i));
  }
}

// The same order as fold_, with keys of its own (each byte inverted, so
// they order backwards): a list must never use another comparison's keys.
class InvertedKeys : public Collation {
 public:
  int Compare(std::string_view a, std::string_view b) const override { return fold_.Compare(a, b); }
  std::string Key(std::string_view text) const override {
    std::string key = fold_.Key(text);
    for (char& c : key) c = static_cast<char>(~c);
    return key;
  }
  int CompareKeys(std::string_view ka, std::string_view kb) const override {
    return kb.compare(ka);
  }

 private:
  AsciiFoldCollation fold_;
};

TEST_F(StringListTest, EntriesFromAListOfAnotherComparisonTakeNewKeys) {
  InvertedKeys inverted;
  TStringList other(inverted);
  for (const char* t : {"c", "a", "B", "d", "b"}) other.Add(t);
  other.SortAndIgnoreDuplicates();  // computes other's keys
  TStringList expected = Make({"b", "e"});
  expected.SortAndIgnoreDuplicates();
  TStringList by_all = expected, by_one = expected;
  for (int i = 0; i < other.Count(); ++i) expected.Add(other.Get(i));
  by_all.AddAll(other);
  for (int i = 0; i < other.Count(); ++i) by_one.AddFrom(other, i);
  EXPECT_EQ(by_all.Texts(), expected.Texts());
  EXPECT_EQ(by_one.Texts(), expected.Texts());
  EXPECT_EQ(expected.Texts(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

}  // namespace
}  // namespace extmerge

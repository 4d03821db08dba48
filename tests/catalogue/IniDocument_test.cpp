#include "catalogue/IniDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace extmerge {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

// prefix + number (a helper, not "literal" + std::to_string, which draws a
// false -Wrestrict warning from the cross compiler).
std::string Num(std::string prefix, int i) { return prefix.append(std::to_string(i)); }

// ---- reading ----

struct ReadCase {
  const char* what;
  std::string text;
  std::string section;
  std::string key;
  std::optional<std::string> expected;
};

class IniReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, Value) {
  IniDocument doc(GetParam().text, CodePageInfo::Cp932());
  EXPECT_EQ(doc.Value(GetParam().section, GetParam().key), GetParam().expected) << GetParam().what;
}

// Full-width letters in code page 932: A 82 60, a 82 81, Z 82 79, z 82 9A.
// Greek alpha 83 9F / 83 BF; Cyrillic A 84 40 / 84 70, O 84 4F / 84 80.
INSTANTIATE_TEST_SUITE_P(
    Grammar, IniReadTest,
    ::testing::Values(
        ReadCase{"plain", "[S]\r\nk=v\r\n", "S", "k", "v"},
        ReadCase{"missing key", "[S]\r\nk=v\r\n", "S", "x", std::nullopt},
        ReadCase{"missing section", "[S]\r\nk=v\r\n", "T", "k", std::nullopt},
        ReadCase{"white space around everything", " \t[ S \t]\t\r\n \tk \t= \t v w \t\r\n", "S",
                 "k", "v w"},
        ReadCase{"requested names trimmed too", "[S]\nk=v\n", " S ", "\tk ", "v"},
        ReadCase{"value after the first =", "[S]\nk=a=b\n", "S", "k", "a=b"},
        ReadCase{"empty value", "[S]\nk=\n", "S", "k", ""},
        ReadCase{"double quotes", "[S]\nk= \"a b\" \n", "S", "k", "a b"},
        ReadCase{"single quotes", "[S]\nk='x'\n", "S", "k", "x"},
        ReadCase{"outer pair only", "[S]\nk=\"a\",\"b\"\n", "S", "k", "a\",\"b"},
        ReadCase{"mixed quotes stay", "[S]\nk=\"a'\n", "S", "k", "\"a'"},
        ReadCase{"unbalanced quote stays", "[S]\nk=\"a\n", "S", "k", "\"a"},
        ReadCase{"lone quote stays", "[S]\nk=\"\n", "S", "k", "\""},
        ReadCase{"pair of quotes is empty", "[S]\nk=\"\"\n", "S", "k", ""},
        ReadCase{"ASCII case", "[Sec]\nName=v\n", "sEC", "NAME", "v"},
        ReadCase{"full-width letters fold", "[\x82\x60\x82\x79]\n\x82\x81=v\n", "\x82\x81\x82\x9A",
                 "\x82\x60", "v"},
        ReadCase{"Greek folds", "[S]\n\x83\x9F=v\n", "S", "\x83\xBF", "v"},
        ReadCase{"Cyrillic folds on both sides of 7F", "[S]\n\x84\x40\x84\x4F=v\n", "S",
                 "\x84\x70\x84\x80", "v"},
        ReadCase{"width stays significant", "[S]\n\x82\x60=v\n", "S", "A", std::nullopt},
        // 83 41 (katakana A) and 83 61 (small katakana YA): a second byte
        // that happens to be an ASCII letter is never folded.
        ReadCase{"second byte never folded", "[S]\n\x83\x41=v\n", "S", "\x83\x61", std::nullopt},
        ReadCase{"second byte ] does not close a header", "[A\x81]B]\nk=v\n", "A\x81]B", "k", "v"},
        ReadCase{"text after ] ignored", "[Tail]junk\nk=v\n", "Tail", "k", "v"},
        ReadCase{"[ without ] is an ordinary line", "[S]\n[Open\nk=v\n", "S", "k", "v"},
        ReadCase{"first copy of a section", "[S]\na=1\n[s]\na=2\nb=3\n", "S", "a", "1"},
        ReadCase{"later copy unseen", "[S]\na=1\n[s]\nb=3\n", "S", "b", std::nullopt},
        ReadCase{"first line of a key", "[S]\nk=1\nK=2\n", "S", "k", "1"},
        ReadCase{"=value hides nothing", "[S]\n=x\nk=v\n", "S", "k", "v"},
        ReadCase{"comment is no key", "[S]\n;k=v\n", "S", ";k", std::nullopt},
        ReadCase{"# is no comment", "[S]\n#k=v\n", "S", "#k", "v"},
        ReadCase{"line without = is no key", "[S]\nk\n", "S", "k", std::nullopt},
        ReadCase{"preamble not addressable", "k=v\n[S]\n", "", "k", std::nullopt},
        ReadCase{"BOM before the first header", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
        ReadCase{"no final line ending", "[S]\nk=v", "S", "k", "v"},
        ReadCase{"lone CR is content", "[S]\nk=a\rj=b\n", "S", "k", "a\rj=b"},
        ReadCase{"CR at the edges is white space", "[S]\nk=v\r\r\n", "S", "k", "v"},
        ReadCase{"NUL kept", "[S]\nk=a\0b\n"s, "S", "k", "a\0b"s},
        ReadCase{"lead byte at the end of a line", "[S]\nk=\x82\nj=2\n", "S", "j", "2"},
        ReadCase{"lead byte at the end of a value", "[S]\nk=\x82\n", "S", "k", "\x82"},
        ReadCase{"lead byte before =", "[S]\nk\x82=v\n", "S", "k\x82", "v"},
        ReadCase{"] as a second byte: no header", "[S]\n[T\x82]\nk=v\n", "S", "k", "v"}));

TEST(IniDocumentLists, SectionNamesInFileOrder) {
  IniDocument doc("k=0\n[B]\n[]\n[ a ]\nx=1\n[b]\n[Open\n", CodePageInfo::Cp932());
  // The preamble and "[]" are not listed; the repeated section is.
  EXPECT_EQ(doc.SectionNames(), (Names{"B", "a", "b"}));
}

TEST(IniDocumentLists, KeyNamesInFileOrder) {
  IniDocument doc(
      "[S]\r\nb=1\r\n; c=2\r\n=hidden?\r\n a =3\r\nno equals\r\nB=4\r\n\r\n[T]\r\nz=9\r\n",
      CodePageInfo::Cp932());
  EXPECT_EQ(doc.KeyNames("s"), (Names{"b", "a", "B"}));
  EXPECT_TRUE(doc.KeyNames("missing").empty());
  // A repeated key lists again, and each gets the value of the first line.
  auto kv = doc.KeyValues("S");
  ASSERT_EQ(kv.size(), 3u);
  EXPECT_EQ(kv[2], (std::pair<std::string, std::string>{"B", "1"}));
}

// ---- editing ----

struct Op {
  char kind;  // 'w' write, 'd' delete
  std::string section, key, value;
};

struct EditCase {
  const char* what;
  std::string before;
  std::vector<Op> ops;
  std::string after;
};

class IniEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(IniEditTest, Bytes) {
  IniDocument doc(GetParam().before, CodePageInfo::Cp932());
  for (const Op& op : GetParam().ops) {
    if (op.kind == 'w')
      doc.Write(op.section, op.key, op.value);
    else
      doc.Remove(op.section, op.key);
  }
  EXPECT_EQ(doc.Bytes(), GetParam().after) << GetParam().what;
  // What was written reads back from a fresh parse exactly as from memory.
  IniDocument reread(doc.Bytes(), CodePageInfo::Cp932());
  for (const std::string& s : doc.SectionNames()) {
    EXPECT_EQ(reread.KeyValues(s), doc.KeyValues(s)) << GetParam().what << " [" << s << "]";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniEditTest,
    ::testing::Values(
        EditCase{"replace in place, CRLF kept",
                 "[S]\r\na=1\r\nName=x\r\nb=2\r\n",
                 {{'w', "S", "name", "y"}},
                 "[S]\r\na=1\r\nName=y\r\nb=2\r\n"},
        EditCase{"spacing around = kept",
                 "[S]\n  Name = x  \n",
                 {{'w', "S", "NAME", "y"}},
                 "[S]\n  Name = y\n"},
        EditCase{"empty value written as key=",
                 "[S]\nName = x\n",
                 {{'w', "S", "Name", ""}},
                 "[S]\nName =\n"},
        EditCase{"value trimmed, no quotes added",
                 "[S]\n",
                 {{'w', "S", "k", "  a,b  "}},
                 "[S]\nk=a,b\n"},
        EditCase{"same value: nothing changes",
                 "[S]\nk = \"v\"\n",
                 {{'w', "S", "k", "\"v\""}},
                 "[S]\nk = \"v\"\n"},
        EditCase{"new key before the blank lines that end its section",
                 "[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n",
                 {{'w', "A", "Name", "n"}},
                 "[A]\r\nx=1\r\nName=n\r\n\r\n\r\n[B]\r\ny=2\r\n"},
        EditCase{"new key after a comment that ends its section",
                 "[A]\nx=1\n; end of A\n\n[B]\n",
                 {{'w', "A", "k", "v"}},
                 "[A]\nx=1\n; end of A\nk=v\n\n[B]\n"},
        EditCase{"new key in an empty section goes right after the header",
                 "[A]\n\n[B]\n",
                 {{'w', "A", "k", "v"}, {'w', "A", "j", "w"}},
                 "[A]\nk=v\nj=w\n\n[B]\n"},
        EditCase{"new section at the end, file's own line ending",
                 "[A]\nx=1\n\n",
                 {{'w', "New", "k", "v"}},
                 "[A]\nx=1\n\n[New]\nk=v\n"},
        EditCase{"empty file gets CRLF", "", {{'w', "S", "k", "v"}}, "[S]\r\nk=v\r\n"},
        EditCase{
            "no line ending anywhere gets CRLF", "[A]", {{'w', "A", "k", "v"}}, "[A]\r\nk=v\r\n"},
        EditCase{"missing final newline: no lines glued",
                 "[A]\nx=1",
                 {{'w', "A", "k", "v"}, {'w', "B", "j", "w"}},
                 "[A]\nx=1\nk=v\n[B]\nj=w\n"},
        EditCase{"missing final newline kept when the last line is replaced",
                 "[A]\nx=1",
                 {{'w', "A", "x", "2"}},
                 "[A]\nx=2"},
        EditCase{"delete takes the first matching line only",
                 "[S]\nk=1\nK=2\nj=3\n",
                 {{'d', "S", "k", ""}},
                 "[S]\nK=2\nj=3\n"},
        EditCase{
            "delete, then write moves the key to the end",
            "[S]\na=1\nb=2\nc=3\n\n[T]\n",
            {{'d', "S", "a", ""}, {'w', "S", "a", "1"}, {'d', "S", "b", ""}, {'w', "S", "b", "2"}},
            "[S]\nc=3\na=1\nb=2\n\n[T]\n"},
        EditCase{"deleting the last key keeps the header",
                 "[S]\nk=1\n",
                 {{'d', "S", "k", ""}, {'d', "S", "k", ""}, {'d', "X", "k", ""}},
                 "[S]\n"},
        EditCase{"repeated section: first copy written",
                 "[S]\na=1\n[s]\nb=2\n",
                 {{'w', "S", "b", "9"}},
                 "[S]\na=1\nb=9\n[s]\nb=2\n"},
        EditCase{"=value line kept, key after it replaced",
                 "[S]\n=x\nk=1\n",
                 {{'w', "S", "k", "2"}},
                 "[S]\n=x\nk=2\n"},
        EditCase{"full-width key replaced under its own spelling",
                 "[S]\n\x82\x60=1\n",
                 {{'w', "S", "\x82\x81", "2"}},
                 "[S]\n\x82\x60=2\n"},
        EditCase{"BOM, NUL, invalid double-byte and lone CR kept",
                 "\xEF\xBB\xBF[S]\nk=1\nraw\x82\0\r\x81\n"s,
                 {{'w', "S", "k", "2"}},
                 "\xEF\xBB\xBF[S]\nk=2\nraw\x82\0\r\x81\n"s},
        EditCase{"new section spelled as given",
                 "[A]\r\n",
                 {{'w',
                   " \x82\x6D"
                   "ew ",
                   "k", "v"}},
                 "[A]\r\n[\x82\x6D"
                 "ew]\r\nk=v\r\n"}));

// A new section whose name ends in a lead byte standing alone: written as
// "[name]" the lead byte would pair with "]" and the header would not close,
// so the section's lines would fall into the one before it.
TEST(IniDocumentEdit, NewSectionEndingInALoneLeadByteStaysASection) {
  IniDocument doc("[A]\r\nk=1\r\n", CodePageInfo::Cp932());
  doc.Write("ab\x95", "Name", "x");
  IniDocument reread(doc.Bytes(), CodePageInfo::Cp932());
  EXPECT_EQ(reread.SectionNames(), (std::vector<std::string>{"A", "ab\x95"}));
  EXPECT_EQ(reread.KeyValues("A"), doc.KeyValues("A"));
  EXPECT_EQ(reread.Value("ab\x95", "Name"), "x");
}

TEST(IniDocumentEdit, RealCatalogueChangesOnlyTheWrittenLine) {
  // A catalogue as the host keeps it: CRLF, comments, blank lines, spacing.
  const std::string text =
      "; \x83\x65\x83\x93\x83\x76\x83\x8C\x81\x5B\x83\x67\r\n"  // a comment in Japanese
      "\r\n"
      "[\x95\x97\x8C\x69]\r\n"  // section name in Japanese
      "Name=\x8A\x43,\x8E\x52,\x90\x58\r\n"
      "Dir=Sea,Mountain,Forest\r\n"
      "Other = keep me  \r\n"
      "\r\n"
      "; next\r\n"
      "[Portrait]\r\n"
      "Name=\"A\",\"B\"\r\n"
      "Dir=a,b\r\n";
  IniDocument doc(text, CodePageInfo::Cp932());
  ASSERT_TRUE(doc.Write("\x95\x97\x8C\x69", "dir", "Sea,Mountain,Forest,\x8F\xAC"));
  std::string out = doc.Bytes();
  std::string expected = text;
  std::string old_line = "Dir=Sea,Mountain,Forest\r\n";
  expected.replace(expected.find(old_line), old_line.size(),
                   "Dir=Sea,Mountain,Forest,\x8F\xAC\r\n");
  EXPECT_EQ(out, expected);
  EXPECT_TRUE(doc.Modified());
}

TEST(IniDocumentEdit, NothingChangedGivesTheSameBytes) {
  const std::string inputs[] = {
      "",           "\xEF\xBB\xBF", "no newline",
      "\n\n\r\n",   "\0\0[\0]\n"s,  "[A]\r\nk=v\nmixed=1\r\n\r",
      "\x82\n\x82",
  };
  for (const std::string& in : inputs) {
    IniDocument doc(in, CodePageInfo::Cp932());
    EXPECT_EQ(doc.Bytes(), in);
    EXPECT_FALSE(doc.Modified());
  }
}

// ---- size ----

TEST(IniDocumentSize, NothingIsCut) {
  std::string big(100 * 1024, 'x');
  for (size_t i = 0; i < big.size(); i += 7) big[i] = ',';
  std::string text = std::string("[") + std::string(3000, 'S') + "]\r\nName=" + big + "\r\n[T]\r\n";
  for (int i = 0; i < 20000; ++i) text += Num("key", i) + Num("=v", i) + "\r\n";
  IniDocument doc(text, CodePageInfo::Cp932());
  EXPECT_EQ(doc.SectionNames(), (Names{std::string(3000, 'S'), "T"}));
  EXPECT_EQ(doc.Value(std::string(3000, 's'), "name"), big);
  Names keys = doc.KeyNames("T");
  ASSERT_EQ(keys.size(), 20000u);
  EXPECT_EQ(keys.back(), "key19999");

  std::string bigger = big + big;
  doc.Write("T", "Name", bigger);
  IniDocument reread(doc.Bytes(), CodePageInfo::Cp932());
  EXPECT_EQ(reread.Value("T", "Name"), bigger);
  EXPECT_EQ(reread.KeyNames("T").size(), 20001u);
}

TEST(IniDocumentSize, FiftyMegabyteLine) {
  std::string line(50u << 20, 'v');
  line[1000] = '\x82';  // a lead byte in the middle changes nothing
  std::string text = "[S]\nk=" + line + "\nj=2";
  IniDocument doc(text, CodePageInfo::Cp932());
  EXPECT_EQ(doc.Value("S", "k")->size(), line.size());
  EXPECT_EQ(doc.Value("S", "j"), "2");
  EXPECT_EQ(doc.Bytes(), text);
}

TEST(IniDocumentSize, EveryKeyMovedToTheEnd) {
  // What the background merge does with a large section: each key deleted
  // and written again, so it moves to the end. Must stay linear overall.
  const int n = 100000;
  std::string text = "[S]\r\n";
  for (int i = 0; i < n; ++i) text += Num("k", i) + Num("=", i) + "\r\n";
  text += "\r\n[T]\r\nx=1\r\n";
  IniDocument doc(text, CodePageInfo::Cp932());
  for (int i = 0; i < n; i += 2) {
    std::string key = Num("K", i);
    ASSERT_TRUE(doc.Remove("s", key));
    ASSERT_TRUE(doc.Write("s", key, Num("new", i)));
  }
  Names keys = doc.KeyNames("S");
  ASSERT_EQ(keys.size(), static_cast<size_t>(n));
  EXPECT_EQ(keys[0], "k1");
  EXPECT_EQ(keys[n / 2 - 1], "k99999");
  EXPECT_EQ(keys[n / 2], "K0");
  EXPECT_EQ(doc.Value("S", "k4"), "new4");
  std::string out = doc.Bytes();
  EXPECT_NE(out.find("K99998=new99998\r\n\r\n[T]\r\nx=1\r\n"), std::string::npos);
}

TEST(IniDocumentSize, SectionRewrittenAgainAndAgain) {
  // One merge per content folder rewrites the same section key by key; the
  // lines removed on the way are dropped from the document as it goes.
  IniDocument doc("[S]\r\na=1\r\nb=2\r\nc=3\r\n\r\n[T]\r\nx=1\r\n", CodePageInfo::Cp932());
  for (int round = 0; round < 4; ++round) {
    for (const char* key : {"c", "a", "b"}) {
      ASSERT_TRUE(doc.Remove("S", key));
      ASSERT_TRUE(doc.Write("S", key, Num(key, round)));
    }
  }
  ASSERT_TRUE(doc.Remove("S", "a"));
  EXPECT_EQ(doc.KeyNames("S"), (Names{"c", "b"}));
  EXPECT_EQ(doc.Value("S", "a"), std::nullopt);
  EXPECT_EQ(doc.Value("S", "b"), "b3");
  ASSERT_TRUE(doc.Write("S", "a", "z"));
  EXPECT_EQ(doc.Bytes(), "[S]\r\nc=c3\r\nb=b3\r\na=z\r\n\r\n[T]\r\nx=1\r\n");
}

TEST(IniDocumentSize, RemovedLinesAreReusedWithoutChangingTheText) {
  // Every key of a section removed and written again, round after round and
  // in changing orders, with a section added midway (its header and keys
  // take records freed by earlier rounds). After each round the document
  // must read and print exactly like one parsed from the expected text, and
  // hold a number of line records that does not grow with the rounds.
  struct Kv {
    std::string key, value;
  };
  std::vector<Kv> s_keys, u_keys;
  std::string text = "[S]\r\n";
  for (int i = 0; i < 10; ++i) {
    s_keys.push_back({Num("k", i), Num("", i)});
    text += s_keys.back().key + "=" + s_keys.back().value + "\r\n";
  }
  text += "\r\n[T]\r\nx=1\r\n";
  IniDocument doc(text, CodePageInfo::Cp932());

  auto rewrite = [&](const std::string& section, std::vector<Kv>& keys, int round) {
    std::vector<Kv> order = keys;
    std::rotate(order.begin(), order.begin() + (round * 3) % order.size(), order.end());
    if (round % 2) std::reverse(order.begin(), order.end());
    for (Kv& kv : order) {
      ASSERT_TRUE(doc.Remove(section, kv.key));
      kv.value = Num(kv.key + "_", round);
      ASSERT_TRUE(doc.Write(section, kv.key, kv.value));
    }
    keys = order;
  };
  for (int round = 0; round < 200; ++round) {
    rewrite("S", s_keys, round);
    if (round == 3)
      for (int i = 0; i < 3; ++i) ASSERT_TRUE(doc.Write("U", Num("u", i), "new"));
    if (round == 3) u_keys = {{"u0", "new"}, {"u1", "new"}, {"u2", "new"}};
    if (round > 3) rewrite("U", u_keys, round);

    std::string expected = "[S]\r\n";
    for (const Kv& kv : s_keys) expected += kv.key + "=" + kv.value + "\r\n";
    expected += "\r\n[T]\r\nx=1\r\n";
    if (!u_keys.empty()) expected += "[U]\r\n";
    for (const Kv& kv : u_keys) expected += kv.key + "=" + kv.value + "\r\n";
    IniDocument fresh(expected, CodePageInfo::Cp932());
    ASSERT_EQ(doc.Bytes(), expected) << "round " << round;
    ASSERT_EQ(doc.SectionNames(), fresh.SectionNames());
    for (const char* section : {"S", "T", "U"}) {
      ASSERT_EQ(doc.KeyNames(section), fresh.KeyNames(section)) << section << " round " << round;
      ASSERT_EQ(doc.KeyValues(section), fresh.KeyValues(section));
      for (const std::string& key : fresh.KeyNames(section))
        ASSERT_EQ(doc.Value(section, key), fresh.Value(section, key));
    }
    ASSERT_EQ(doc.Value("S", "u0"), std::nullopt);
    // Removed lines waiting to be reused are at most about as many as the
    // added ones; the file's own removed lines stay.
    ASSERT_LE(doc.LineRecords(), 3 * fresh.LineRecords()) << "round " << round;
  }
  EXPECT_EQ(doc.SavedBytes(), text);
  EXPECT_TRUE(doc.Modified());
}

}  // namespace
}  // namespace extmerge

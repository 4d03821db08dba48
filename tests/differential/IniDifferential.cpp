// Differential test of the catalogue layer against the system's own profile
// functions (run under Wine with code page 932).
//
// Thousands of random sequences of the catalogue operations (write value,
// delete key, and the reads: section names, key names, values) are applied
// to one file through our layer and to a copy through
// GetPrivateProfileStringA / WritePrivateProfileStringA; every read is
// compared. At the end of each sequence the file our layer saved is read
// through the system functions and compared once more with our reads.
//
// The content is shaped like real catalogues: Japanese names and values
// (including second bytes that are "\", "[" or "]"), spaces around "=",
// quoted values, comments, blank lines, lines without "=", CRLF and LF files,
// a missing final newline, case variants of repeated keys and sections, and
// full-width letters in names.
//
// Deliberate differences are kept out of the random part and shown one by
// one afterwards; each must show up as named:
// - no truncation (the system cuts values at the caller's buffer);
// - full-width letters fold in names (Windows folds them; Wine folds ASCII
//   only);
// - bytes that are no valid double-byte character are kept (Wine replaces
//   them);
// - a "=value" line does not hide the keys after it;
// - blank lines and the spacing of untouched lines are kept (Wine's rewrite
//   drops blank lines and normalises every entry line).
//
// Usage: ini_differential [sequences] [seed]. Exit status 0 when the only
// disagreements are the deliberate ones.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "catalogue/IniFile.h"
#include "support/FakePlatform.h"

namespace {

using extmerge::CatalogueStore;
using extmerge::TIniFile;
using extmerge::TStringList;
using Names = std::vector<std::string>;

std::string Escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

std::string Joined(const Names& names) {
  std::string out = "{";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) out += '|';
    out += Escaped(names[i]);
  }
  return out + "}";
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string ReadBytes(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

// The system's profile functions on one file.
class SystemIni {
 public:
  explicit SystemIni(std::string path) : path_(std::move(path)) {}
  static constexpr DWORD kWhole = 1 << 16;  // more than any random file holds: nothing is cut

  Names Sections(DWORD size = kWhole) { return List(nullptr, size); }
  Names Keys(const std::string& section, DWORD size = kWhole) {
    return List(section.c_str(), size);
  }
  std::string Value(const std::string& section, const std::string& key, DWORD size = kWhole) {
    char* buf = Buffer(size);
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf, size, path_.c_str());
    return std::string(buf, n);
  }
  void Write(const std::string& section, const std::string& key, const std::string& value) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str());
  }
  void Delete(const std::string& section, const std::string& key) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, path_.c_str());
  }

 private:
  Names List(const char* section, DWORD size) {
    char* buf = Buffer(size);
    DWORD n = GetPrivateProfileStringA(section, nullptr, "", buf, size, path_.c_str());
    Names out;
    // NUL-separated, ended by an empty name.
    for (DWORD i = 0; i < n;) {
      size_t len = std::strlen(buf + i);
      if (len == 0) break;
      out.emplace_back(buf + i, len);
      i += static_cast<DWORD>(len) + 1;
    }
    return out;
  }
  static char* Buffer(DWORD size) {
    static std::vector<char> buf;
    if (buf.size() < size) buf.resize(size);
    return buf.data();
  }
  std::string path_;
};

// Our layer on the same logical file, kept in the in-memory platform until
// the sequence ends.
struct OurIni {
  extmerge::test::FakePlatform sys;
  CatalogueStore store{sys};
  std::string path;
  TIniFile ini;
  OurIni(const std::string& dir, const std::string& file, const std::string& bytes)
      : path(dir + "\\" + file), ini(store, path) {
    sys.AddDir(dir);
    sys.AddFile(path, bytes);
  }
  Names Sections() {
    TStringList list(sys.UserCollation());
    ini.ReadSections(list);
    return list.Texts();
  }
  Names Keys(const std::string& section) {
    TStringList list(sys.UserCollation());
    ini.ReadSection(section, list);
    return list.Texts();
  }
  std::string Saved() {
    store.SaveAll();
    return sys.files[path];
  }
};

// ---- catalogue-shaped random content ----

const Names kSections = {
    "Template",
    "TEMPLATE",
    "template",
    "\x94\x77\x8C\x69",                  // background (Japanese)
    "\x95\x97\x8C\x69",                  // landscape
    "\x83\x65\x83\x58\x83\x67\x81\x5D",  // "test" + a character whose second byte is "]"
    "\x83\x5C\x95\x5C",                  // second bytes "\"
    "Sec A",
    "\x82\x65\x82\x95\x82\x8C\x82\x8C",  // full-width letters, one spelling only
};
const Names kKeys = {
    "Name",
    "NAME",
    "name",
    "Dir",
    "dir",
    "\x83\x4C\x81\x5B",  // a key whose second byte is "["
    "\x95\x5C\x8E\xA6",  // second byte "\"
    "k1",
    "K1",
    "Other",
    "\x82\x65\x82\x95\x82\x8C\x82\x8C",  // full-width letters, one spelling only
};
const Names kValues = {
    "",
    "a",
    "a,b,c",
    "\"quoted\"",
    "'single'",
    "\"unbalanced",
    "\"a\",\"b\"",
    "\x8A\x43,\x8E\x52,\x90\x58",  // sea, mountain, forest
    "\x95\x5C\x8E\xA6\\\x83\x5C",  // second bytes "\" next to a real "\"
    "x = y",
    "  padded  ",
    "\x92\xC7\x89\xC1\x91\x66\x8D\xDE=\x83\x65",
    "Data\\Template\\a.bmp,Data\\b.bmp",
};

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  const std::string& Any(const Names& pool) { return pool[Pick(static_cast<int>(pool.size()))]; }
  std::string Space() {
    static const char* spaces[] = {"", "", "", " ", "  ", "\t"};
    return spaces[Pick(6)];
  }

  std::string File() {
    std::string eol = Chance(50) ? "\r\n" : "\n";
    std::string out;
    if (Chance(30)) out += "; catalogue" + eol;
    if (Chance(20)) out += eol;
    int sections = 1 + Pick(5);
    for (int s = 0; s < sections; ++s) {
      out += Space() + "[" + Space() + Any(kSections) + Space() + "]" + Space() + eol;
      int lines = Pick(8);
      for (int l = 0; l < lines; ++l) {
        int kind = Pick(10);
        if (kind < 6)
          out += Space() + Any(kKeys) + Space() + "=" + Space() + Any(kValues) + Space() + eol;
        else if (kind == 6)
          out += "; comment " + Any(kValues) + eol;
        else if (kind == 7)
          out += eol;
        else if (kind == 8)
          out += Space() + "no equals here" + eol;
        else
          out += "#hash=" + Any(kValues) + eol;
      }
      if (Chance(40)) out += eol;
    }
    if (Chance(15)) {
      while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    }
    return out;
  }

 private:
  std::mt19937 rng_;
};

// ---- comparison ----

struct Tally {
  long reads = 0;
  long disagreements = 0;
  void Check(bool same, const std::string& what) {
    ++reads;
    if (same) return;
    if (++disagreements <= 30) std::printf("DISAGREE %s\n", what.c_str());
  }
};

void CompareEverything(OurIni& ours, SystemIni& theirs, Tally& tally, const std::string& ctx) {
  Names ours_sections = ours.Sections();
  Names their_sections = theirs.Sections();
  tally.Check(ours_sections == their_sections, ctx + " sections ours=" + Joined(ours_sections) +
                                                   " theirs=" + Joined(their_sections));
  // Every section present (and one absent), every key present (and one
  // absent) of each.
  std::set<std::string> sections(ours_sections.begin(), ours_sections.end());
  sections.insert(their_sections.begin(), their_sections.end());
  sections.insert("Absent");
  for (const std::string& s : sections) {
    Names ours_keys = ours.Keys(s);
    Names their_keys = theirs.Keys(s);
    tally.Check(ours_keys == their_keys, ctx + " keys [" + Escaped(s) + "] ours=" +
                                             Joined(ours_keys) + " theirs=" + Joined(their_keys));
    std::set<std::string> keys(ours_keys.begin(), ours_keys.end());
    keys.insert(their_keys.begin(), their_keys.end());
    keys.insert("absent");
    for (const std::string& k : keys) {
      std::string a = ours.ini.ReadString(s, k);
      std::string b = theirs.Value(s, k);
      tally.Check(a == b, ctx + " value [" + Escaped(s) + "] " + Escaped(k) +
                              " ours=" + Escaped(a) + " theirs=" + Escaped(b));
    }
  }
}

void RunSequence(unsigned seed, const std::string& dir, Tally& tally) {
  Generator gen(seed);
  std::string text = gen.File();
  std::string their_path = dir + "\\theirs" + std::to_string(seed) + ".ini";
  std::string our_path_on_disk = dir + "\\ours" + std::to_string(seed) + ".ini";
  WriteBytes(their_path, text);
  OurIni ours(dir, "ours" + std::to_string(seed) + ".ini", text);
  SystemIni theirs(their_path);
  std::string ctx = "seed " + std::to_string(seed);

  int ops = 5 + gen.Pick(20);
  for (int op = 0; op < ops; ++op) {
    std::string step = ctx + " op " + std::to_string(op);
    const std::string& s = gen.Any(kSections);
    const std::string& k = gen.Any(kKeys);
    int kind = gen.Pick(10);
    if (kind < 4) {
      const std::string& v = gen.Any(kValues);
      ours.ini.WriteString(s, k, v);
      theirs.Write(s, k, v);
    } else if (kind < 6) {
      ours.ini.DeleteKey(s, k);
      theirs.Delete(s, k);
    } else if (kind < 7) {
      tally.Check(ours.Sections() == theirs.Sections(), step + " sections");
    } else if (kind < 8) {
      Names a = ours.Keys(s), b = theirs.Keys(s);
      tally.Check(a == b,
                  step + " keys [" + Escaped(s) + "] ours=" + Joined(a) + " theirs=" + Joined(b));
    } else {
      std::string a = ours.ini.ReadString(s, k), b = theirs.Value(s, k);
      tally.Check(a == b, step + " value [" + Escaped(s) + "] " + Escaped(k) +
                              " ours=" + Escaped(a) + " theirs=" + Escaped(b));
    }
  }
  CompareEverything(ours, theirs, tally, ctx + " end");

  // What our layer saved, read back through the system functions.
  WriteBytes(our_path_on_disk, ours.Saved());
  SystemIni ours_through_system(our_path_on_disk);
  CompareEverything(ours, ours_through_system, tally, ctx + " saved");
  if (tally.disagreements > 0 && tally.disagreements <= 30)
    std::printf("  file of %s: %s\n", ctx.c_str(), Escaped(text).c_str());
  DeleteFileA(their_path.c_str());
  DeleteFileA(our_path_on_disk.c_str());
}

// ---- deliberate differences ----

struct Deliberate {
  int shown = 0;
  int missing = 0;
  void Expect(const char* name, bool differs, const std::string& detail) {
    std::printf("deliberate difference: %s: %s (%s)\n", name, differs ? "shown" : "NOT SHOWN",
                detail.c_str());
    (differs ? shown : missing)++;
  }
};

void ShowDeliberate(const std::string& dir, Deliberate& d) {
  {
    std::string value(3000, 'v');
    std::string keys;
    std::string text = "[S]\r\nName=" + value + "\r\n";
    for (int i = 0; i < 3000; ++i) text += "key" + std::to_string(i) + "=1\r\n";
    OurIni ours(dir, "trunc.ini", text);
    WriteBytes(dir + "\\trunc.ini", text);
    SystemIni theirs(dir + "\\trunc.ini");
    std::string a = ours.ini.ReadString("S", "Name"), b = theirs.Value("S", "Name", 2048);
    d.Expect("no truncation (value)", a.size() == 3000 && b.size() == 2047,
             "ours " + std::to_string(a.size()) + " bytes, system " + std::to_string(b.size()));
    size_t ka = ours.Keys("S").size(), kb = theirs.Keys("S", 16384).size();
    d.Expect("no truncation (key list)", ka == 3001 && kb < ka,
             "ours " + std::to_string(ka) + " keys, system " + std::to_string(kb));
  }
  {
    // [Ａ] / ｋ=v read as [ａ] / Ｋ.
    std::string text = "[\x82\x60]\r\n\x82\x8B=v\r\n";
    OurIni ours(dir, "wide.ini", text);
    WriteBytes(dir + "\\wide.ini", text);
    SystemIni theirs(dir + "\\wide.ini");
    std::string a = ours.ini.ReadString("\x82\x81", "\x82\x6A");
    std::string b = theirs.Value("\x82\x81", "\x82\x6A");
    d.Expect("full-width letters fold in names", a == "v" && b != "v",
             "ours '" + Escaped(a) + "', system '" + Escaped(b) + "'");
  }
  {
    std::string text = "[S]\r\nk=\x81\x20x\xFC\r\n";
    OurIni ours(dir, "bad.ini", text);
    WriteBytes(dir + "\\bad.ini", text);
    SystemIni theirs(dir + "\\bad.ini");
    std::string a = ours.ini.ReadString("S", "k"), b = theirs.Value("S", "k");
    d.Expect("invalid double-byte bytes kept", a == "\x81\x20x\xFC" && b != a,
             "ours '" + Escaped(a) + "', system '" + Escaped(b) + "'");
  }
  {
    std::string text = "[S]\r\na=1\r\n=hidden\r\nb=2\r\n";
    OurIni ours(dir, "eq.ini", text);
    WriteBytes(dir + "\\eq.ini", text);
    SystemIni theirs(dir + "\\eq.ini");
    Names a = ours.Keys("S"), b = theirs.Keys("S");
    d.Expect("=value line hides no keys", a == Names{"a", "b"} && b != a,
             "ours " + Joined(a) + ", system " + Joined(b));
  }
  {
    std::string text = "[A]\r\nx = 1\r\n\r\n[B]\r\ny=2\r\n";
    OurIni ours(dir, "keep.ini", text);
    WriteBytes(dir + "\\keep.ini", text);
    SystemIni theirs(dir + "\\keep.ini");
    ours.ini.WriteString("B", "y", "3");
    theirs.Write("B", "y", "3");
    std::string a = ours.Saved(), b = ReadBytes(dir + "\\keep.ini");
    d.Expect("blank lines and spacing kept", a == "[A]\r\nx = 1\r\n\r\n[B]\r\ny=3\r\n" && b != a,
             "ours '" + Escaped(a) + "', system '" + Escaped(b) + "'");
  }
}

}  // namespace

int main(int argc, char** argv) {
  long sequences = argc > 1 ? std::atol(argv[1]) : 2000;
  unsigned first_seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1;
  if (GetACP() != 932) {
    std::printf("skipped: the ANSI code page is %u, not 932\n", GetACP());
    return 0;
  }
  char cwd[MAX_PATH * 4];
  DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
  std::string dir = std::string(cwd, n) + "\\ini_differential_work";
  CreateDirectoryA(dir.c_str(), nullptr);

  Tally tally;
  for (long i = 0; i < sequences; ++i)
    RunSequence(first_seed + static_cast<unsigned>(i), dir, tally);
  std::printf("%ld sequences, %ld reads compared, %ld disagreements\n", sequences, tally.reads,
              tally.disagreements);

  Deliberate deliberate;
  ShowDeliberate(dir, deliberate);
  std::printf("%d deliberate differences shown, %d not shown\n", deliberate.shown,
              deliberate.missing);
  return tally.disagreements == 0 && deliberate.missing == 0 ? 0 : 1;
}

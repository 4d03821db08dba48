// A whole merge of two fuzzed catalogues, as template and as background
// catalogue, on the in-memory platform: no fault beyond the tool's own
// failures, and when every entry of the source carries the marker (and the
// host repeats no key), a second merge of the same source changes nothing.
#include <cstddef>
#include <cstdint>
#include <set>

#include "FuzzSupport.h"
#include "Resources.h"
#include "Splittok.h"
#include "UDatUpdater.h"
#include "catalogue/IniDocument.h"
#include "support/FakePlatform.h"

using namespace extmerge;

namespace {

const std::string kSrc = "C:\\Pack\\Cat.dat";
const std::string kDst = "C:\\Host\\Cat.dat";

template <class Updater>
std::optional<std::string> MergeOnce(test::FakePlatform& sys) {
  try {
    CatalogueStore store(sys);
    {
      Updater updater(store, kSrc, kDst);
      updater.Update();
    }
    store.SaveAll();
  } catch (const Exception&) {
    return std::nullopt;  // the tool's own failure (e.g. a short Dir list)
  }
  return sys.files[kDst];
}

bool IsEdgeSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool EdgeSpaced(const std::string& t) {
  return !t.empty() && (IsEdgeSpace(t.front()) || IsEdgeSpace(t.back()));
}

// Does every entry the updater takes from the source carry the marker?
template <class Updater>
bool AllSourceEntriesMarked(test::FakePlatform& sys, bool is_template) {
  const std::string marker = sys.LoadResString(IDS_MARKER);
  CatalogueStore store(sys);
  TIniFile ini(store, kSrc);
  TStringList sections(sys.UserCollation());
  ini.ReadSections(sections);
  for (const std::string& s : sections.Texts()) {
    TStringList entries(sys.UserCollation());
    if (is_template) {
      std::unique_ptr<TStringList> names =
          SplitString(ini.ReadString(s, "Name"), ",", sys.UserCollation());
      std::unique_ptr<TStringList> dirs =
          SplitString(ini.ReadString(s, "Dir"), ",", sys.UserCollation());
      // A token with white space (or a lone CR) at its edge loses it when it
      // ends up at the edge of the joined value, which the catalogue trims
      // like the profile functions do; such a source is added again on every
      // run, so the property does not apply to it.
      for (const TStringList* list : {names.get(), dirs.get()}) {
        for (const std::string& t : list->Texts()) {
          if (EdgeSpaced(t)) return false;
        }
      }
      for (const std::string& n : names->Texts()) entries.Add(n);
    } else {
      ini.ReadSectionValues(s, entries);
    }
    for (const std::string& e : entries.Texts()) {
      if (!HasMarker(e, marker)) return false;
    }
  }
  return true;
}

// A key repeated in a host section is merged one copy at a time: the merge
// deletes the first copy and rewrites the key, which then lands on the next
// copy in place instead of at the end. Such a host reaches its final order
// only after as many merges as it has copies.
bool HasRepeatedKey(std::string_view catalogue) {
  const IniDocument doc{std::string(catalogue)};
  const IniNameFold fold(AnsiCodePage());
  for (const std::string& s : doc.SectionNames()) {
    std::set<std::string> seen;
    for (const std::string& k : doc.KeyNames(s)) {
      if (!seen.insert(fold(k)).second) return true;
    }
  }
  return false;
}

template <class Updater>
void Check(std::string_view src, std::string_view dst, bool is_template) {
  test::FakePlatform sys;
  sys.AddDir("C:\\Pack");
  sys.AddDir("C:\\Host");
  sys.AddFile(kSrc, std::string(src));
  sys.AddFile(kDst, std::string(dst));
  const std::optional<std::string> once = MergeOnce<Updater>(sys);
  if (!once || !AllSourceEntriesMarked<Updater>(sys, is_template) || HasRepeatedKey(dst)) return;
  const std::optional<std::string> twice = MergeOnce<Updater>(sys);
  if (!twice || *twice != *once) {
    fuzz::Dump("once", *once);
    if (twice) fuzz::Dump("twice", *twice);
  }
  fuzz::Check(twice && *twice == *once, "merging twice equals merging once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view src = fuzz::TakePart(rest, "\n#\n");
  const std::string_view dst = rest;
  Check<TTemplateDatUpdater>(src, dst, true);
  Check<TBackGroundDatUpdater>(src, dst, false);
  return 0;
}

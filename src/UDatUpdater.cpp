#include "UDatUpdater.h"

#include <optional>
#include <vector>

#include "Resources.h"
#include "Splittok.h"

namespace extmerge {

bool HasMarker(std::string_view entry, std::string_view marker) {
  if (marker.empty() || marker.size() > entry.size()) return false;
  // Only at character starts: the marker's bytes may also appear straddling
  // two double-byte characters, which is not the marker.
  const CodePageInfo& cp = AnsiCodePage();
  for (size_t i = 0; i + marker.size() <= entry.size();) {
    if (entry[i] == marker[0] && entry.compare(i, marker.size(), marker) == 0) return true;
    // CharLengthAt, without a call per character.
    i += i + 1 < entry.size() && cp.IsLead(static_cast<unsigned char>(entry[i])) ? 2 : 1;
  }
  return false;
}

void AssignSplit(TStringList& list, const std::string& text) {
  std::unique_ptr<TStringList> tokens = SplitString(text, ",", list.Collator());
  list.Clear();
  list.AddAll(std::move(*tokens));
}

std::string JoinList(const TStringList& list) {
  std::string out;
  const std::vector<std::string>& texts = list.Texts();
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) out += ',';
    out += texts[i];
  }
  return out;
}

namespace {
// A missing catalogue is skipped. A directory in its place is never what a
// host or a pack means, and skipping it would hide a broken installation:
// it cannot be read as a catalogue, and the user is told so.
bool IsExistingFile(Platform& sys, const std::string& path) {
  std::optional<uint32_t> attrs = sys.FileAttributesOf(path);
  if (attrs && (*attrs & kAttrDirectory)) {
    throw Exception(FormatWithString(sys.LoadResString(IDS_CANNOT_READ), path));
  }
  return attrs.has_value();
}
}  // namespace

TDatUpdater::TDatUpdater(CatalogueStore& store, const std::string& src_path,
                         const std::string& dst_path)
    : store_(&store) {
  if (IsExistingFile(store.Sys(), src_path)) FSrcIni = std::make_unique<TIniFile>(store, src_path);
  if (IsExistingFile(store.Sys(), dst_path))
    FDstIni = std::make_unique<TIniFile>(store, dst_path, IniAccess::kUpdate);
}

TDatUpdater::~TDatUpdater() = default;

void TDatUpdater::Update() {
  if (!FSrcIni || !FDstIni) return;
  TStringList sections(Store().Sys().UserCollation());
  FSrcIni->ReadSections(sections);
  for (const std::string& section : sections.Texts()) MergeSection(section);
}

void TDatUpdater::CollectNewEntries(TStringList& list, const std::string& section) {
  TStringList dst(list.Collator());
  CollectNewEntries(list, dst, section);
}

void TDatUpdater::CollectNewEntries(TStringList& list, TStringList& dst,
                                    const std::string& section) {
  ReadEntries(dst, *FDstIni, section);
  ReadEntries(list, *FSrcIni, section);
  // Whether an entry goes depends only on the destination, never on the
  // other source entries, so one compaction removes exactly what deleting
  // them one by one from the end would.
  std::vector<bool> keep(list.Count(), true);
  for (int i = 0; i < list.Count(); ++i) keep[i] = dst.IndexOf(list.Get(i)) < 0;
  list.Compact(keep);
}

void TDatUpdater::MergeSection(const std::string& section) {
  const Collation& collation = Store().Sys().UserCollation();
  // A is filled unsorted: the background reader replaces entries in place.
  TStringList added(collation);
  // Reading the destination again would give the same entries: nothing has
  // changed it since. The list read for the comparison is reused, with the
  // keys it has computed.
  TStringList kept(collation);
  CollectNewEntries(added, kept, section);
  added.SortAndIgnoreDuplicates();

  // The destination's marked entries, taken from the end of the section
  // towards its start, join the sorted block; of equal ones the first taken
  // (the one nearest the end) wins. AddAll gives the result of adding them
  // one by one without a vector insertion per entry.
  const std::string marker = Store().Sys().LoadResString(IDS_MARKER);
  TStringList marked(collation);
  std::vector<bool> keep(kept.Count(), true);
  for (int i = kept.Count() - 1; i >= 0; --i) {
    if (!HasMarker(kept.Get(i), marker)) continue;
    marked.AddFrom(kept, i);
    keep[i] = false;
  }
  added.AddAll(marked);
  kept.Compact(keep);

  kept.AddAll(added);
  WriteEntries(kept, *FDstIni, section);
}

void TTemplateDatUpdater::ReadEntries(TStringList& list, TIniFile& ini,
                                      const std::string& section) {
  TStringList names(list.Collator());
  TStringList dirs(list.Collator());
  AssignSplit(names, ini.ReadString(section, "Name"));
  AssignSplit(dirs, ini.ReadString(section, "Dir"));
  for (int i = 0; i < names.Count(); ++i) {
    const std::string& name = names.Get(i);
    // A missing directory fails here with the index of the first one absent.
    const std::string& dir = dirs.Get(i);
    // The split position keeps a name that itself holds "=" whole.
    list.Add(name + "=" + dir, static_cast<int>(name.size()));
  }
}

void TTemplateDatUpdater::WriteEntries(TStringList& list, TIniFile& ini,
                                       const std::string& section) {
  TStringList names(list.Collator());
  TStringList dirs(list.Collator());
  // Every entry keeps its own name and its own directory, also when another
  // name differs from it only in case or when the name holds "=".
  for (int i = 0; i < list.Count(); ++i) {
    names.Add(list.NameOf(i));
    dirs.Add(list.ValueOf(i));
  }
  ini.WriteString(section, "Name", JoinList(names));
  ini.WriteString(section, "Dir", JoinList(dirs));
}

void TBackGroundDatUpdater::ReadEntries(TStringList& list, TIniFile& ini,
                                        const std::string& section) {
  ini.ReadSectionValues(section, list);
}

void TBackGroundDatUpdater::WriteEntries(TStringList& list, TIniFile& ini,
                                         const std::string& section) {
  // Deleting each key before writing it puts the list's keys at the end of
  // the section in list order, after the keys the list leaves out.
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& text = list.Get(i);
    const size_t eq = text.find('=');
    const std::string name = eq == std::string::npos ? std::string() : text.substr(0, eq);
    ini.DeleteKey(section, name);
    ini.WriteString(section, name, list.ValuesOfNameAt(i));
  }
}

}  // namespace extmerge

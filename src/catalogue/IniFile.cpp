#include "catalogue/IniFile.h"

#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Resources.h"
#include "catalogue/IniDocument.h"

namespace extmerge {

namespace {

Exception WriteFailure(Platform& sys, const std::string& path) {
  return Exception(FormatWithString(sys.LoadResString(IDS_CANNOT_WRITE), path));
}

// Replaces the file with the new bytes: written in full to a temporary file
// beside it, flushed, then renamed over it, so that the file is at every
// moment either the old or the new text. Only where no temporary file can be
// made there is it rewritten in place.
void ReplaceFile(Platform& sys, const std::string& path, const std::string& bytes) {
  if (!sys.IsWritable(path)) throw WriteFailure(sys, path);
  std::string target = sys.ResolveWriteTarget(path);
  std::string temp;
  std::unique_ptr<WritableFile> file = sys.CreateTempBeside(target, temp);
  if (!file) {
    file = sys.OpenForOverwrite(target);
    if (!file) throw WriteFailure(sys, path);
    bool ok = file->Append(bytes) && file->Sync();
    ok = file->Close() && ok;
    if (!ok) throw WriteFailure(sys, path);
    return;
  }
  bool ok = file->Append(bytes) && file->Sync();
  ok = file->Close() && ok;
  file.reset();
  if (!ok || !sys.RenameReplacing(temp, target)) {
    sys.RemovePath(temp);
    throw WriteFailure(sys, path);
  }
}

// The list's own "set name=value" (a non-empty value replaces the first
// entry of that name in place or appends; an empty one deletes that entry).
void SetValue(TStringList& list, const std::string& name, const std::string& value) {
  int i = list.IndexOfName(name);
  if (!value.empty()) {
    std::string text = name + "=" + value;
    if (i < 0)
      list.Add(std::move(text));
    else
      list.Put(i, std::move(text));
  } else if (i >= 0) {
    list.Delete(i);
  }
}

}  // namespace

CatalogueStore::CatalogueStore(Platform& platform) : platform_(&platform) {}
CatalogueStore::~CatalogueStore() = default;

IniDocument& CatalogueStore::Open(const std::string& path) {
  auto it = docs_.find(path);
  if (it != docs_.end()) return *it->second;
  std::string bytes;
  switch (platform_->ReadWholeFile(path, bytes)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kNotFound:
      bytes.clear();
      break;
    case ReadStatus::kIsDirectory:
    case ReadStatus::kFailed:
      // Taking an unreadable catalogue for an empty one would later write
      // the merge over the real one: that is a failure, not an empty file.
      throw Exception(FormatWithString(platform_->LoadResString(IDS_CANNOT_READ), path));
  }
  auto doc = std::make_unique<IniDocument>(std::move(bytes), AnsiCodePage());
  return *docs_.emplace(path, std::move(doc)).first->second;
}

void CatalogueStore::SaveAll() {
  std::optional<Exception> first_failure;
  for (auto& [path, doc] : docs_) {
    if (!doc->Modified()) continue;
    std::string bytes = doc->Bytes();
    if (bytes == doc->SavedBytes()) {
      doc->MarkUnchanged();
      continue;
    }
    try {
      ReplaceFile(*platform_, path, bytes);
      doc->MarkSaved(std::move(bytes));
    } catch (const Exception& e) {
      if (!first_failure) first_failure = e;
    }
  }
  if (first_failure) throw *first_failure;
}

TIniFile::TIniFile(CatalogueStore& store, std::string path)
    : store_(&store), path_(std::move(path)) {}

IniDocument& TIniFile::Doc() { return store_->Open(path_); }

void TIniFile::ReadSections(TStringList& list) {
  list.Clear();
  for (std::string& name : Doc().SectionNames()) list.Add(std::move(name));
}

void TIniFile::ReadSection(const std::string& section, TStringList& list) {
  list.Clear();
  for (std::string& name : Doc().KeyNames(section)) list.Add(std::move(name));
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) {
  std::optional<std::string> value = Doc().Value(section, key);
  return value ? std::move(*value) : def;
}

void TIniFile::ReadSectionValues(const std::string& section, TStringList& list) {
  std::vector<std::pair<std::string, std::string>> pairs = Doc().KeyValues(section);
  if (pairs.empty()) return;
  if (list.Sorted()) {
    for (const auto& [name, value] : pairs) SetValue(list, name, value);
    return;
  }

  // The same result as SetValue for each pair in turn, without asking the
  // list for a name after every change. Entries are numbered by position:
  // the list's entries 0..m-1, then the appended ones m, m+1, ... in order;
  // deleting never reorders them. The names that compare equal (the list's
  // own comparison) form one class; IndexOfName finds a class's lowest live
  // position. A change only ever removes or replaces that lowest position,
  // or appends when the class has none left, so each class is a queue.
  // Names of one class are exactly those with the same collation key.
  const int m = list.Count();
  const Collation& collation = list.Collator();
  std::unordered_map<std::string, size_t> class_of;
  class_of.reserve(pairs.size());
  std::vector<size_t> pair_class(pairs.size());
  for (size_t p = 0; p < pairs.size(); ++p)
    pair_class[p] = class_of.emplace(collation.Key(pairs[p].first), class_of.size()).first->second;

  struct Queue {
    std::vector<size_t> positions;
    size_t head = 0;
  };
  std::vector<Queue> queues(class_of.size());
  for (int j = 0; j < m; ++j) {
    const std::string& text = list.Get(j);
    size_t eq = text.find('=');
    if (eq == std::string::npos) continue;  // no name: never found by name
    auto it = class_of.find(collation.Key(std::string_view(text).substr(0, eq)));
    if (it != class_of.end()) queues[it->second].positions.push_back(static_cast<size_t>(j));
  }

  std::vector<std::optional<std::string>> replaced(static_cast<size_t>(m));
  std::vector<bool> removed(static_cast<size_t>(m), false);
  std::vector<std::string> appended;
  std::vector<bool> appended_removed;
  bool any_removed = false;
  for (size_t p = 0; p < pairs.size(); ++p) {
    const auto& [name, value] = pairs[p];
    Queue& q = queues[pair_class[p]];
    bool found = q.head < q.positions.size();
    size_t pos = found ? q.positions[q.head] : 0;
    if (!value.empty()) {
      std::string text = name + "=" + value;
      if (!found) {
        q.positions.push_back(static_cast<size_t>(m) + appended.size());
        appended.push_back(std::move(text));
        appended_removed.push_back(false);
      } else if (pos < static_cast<size_t>(m)) {
        replaced[pos] = std::move(text);
      } else {
        appended[pos - static_cast<size_t>(m)] = std::move(text);
      }
    } else if (found) {
      ++q.head;
      if (pos < static_cast<size_t>(m)) {
        removed[pos] = true;
        any_removed = true;
      } else {
        appended_removed[pos - static_cast<size_t>(m)] = true;
      }
    }
  }

  if (any_removed) {
    // Rebuild once: the kept entries (as replaced), then the appended ones.
    std::vector<std::pair<std::string, int>> kept;
    kept.reserve(static_cast<size_t>(m));
    for (int j = 0; j < m; ++j) {
      if (removed[static_cast<size_t>(j)]) continue;
      if (replaced[static_cast<size_t>(j)])
        kept.emplace_back(std::move(*replaced[static_cast<size_t>(j)]), -1);
      else
        kept.emplace_back(list.Get(j), list.SplitAt(j));
    }
    list.Clear();
    for (auto& [text, split] : kept) list.Add(std::move(text), split);
  } else {
    for (int j = 0; j < m; ++j)
      if (replaced[static_cast<size_t>(j)])
        list.Put(j, std::move(*replaced[static_cast<size_t>(j)]));
  }
  for (size_t a = 0; a < appended.size(); ++a)
    if (!appended_removed[a]) list.Add(std::move(appended[a]));
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  IniDocument& doc = Doc();
  // Asked once, at the first change: that is where the system's own write
  // would have failed. Nothing is changed in memory when it cannot be saved.
  if (!doc.writable) doc.writable = store_->Sys().IsWritable(path_);
  if (!*doc.writable) throw WriteFailure(store_->Sys(), path_);
  doc.Write(section, key, value);
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  IniDocument& doc = Doc();
  if (!doc.writable) doc.writable = store_->Sys().IsWritable(path_);
  if (!*doc.writable) return;  // a failed delete is ignored: nothing changes
  doc.Remove(section, key);
}

}  // namespace extmerge

// The update locks of the catalogue store, and the clean-up of what a killed
// run left beside a catalogue.
#include <vector>

#include "Resources.h"
#include "catalogue/IniFile.h"

namespace extmerge {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}
bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Removes the temporary files of earlier saves of `target` that never got
// renamed (the run was killed or lost power). Only called under the target's
// update lock: a run that is still writing one holds that lock, so every
// such file found now is stale.
void RemoveStaleTemps(Platform& sys, const std::string& target) {
  // The last separator, never a trail byte. A resolved link may come back
  // with "/" (the posix layer's own form).
  size_t cut = std::string::npos;
  for (size_t i = 0; i < target.size(); i += CharLengthAt(target, i)) {
    if (target[i] == '\\' || target[i] == '/') cut = i;
  }
  if (cut == std::string::npos) return;
  const std::string dir = target.substr(0, cut);
  const std::string prefix = target.substr(cut + 1) + ".extmerge-";
  std::vector<DirEntry> entries;
  if (sys.ListDirectory(dir, entries) != ListStatus::kOk) return;
  for (const DirEntry& e : entries) {
    if (e.attributes & kAttrDirectory) continue;
    std::string_view name = e.name;
    if (StartsWith(name, ".")) name.remove_prefix(1);
    if (StartsWith(name, prefix) && EndsWith(name, ".tmp"))
      sys.RemovePath(dir + target[cut] + e.name);
  }
}

}  // namespace

void CatalogueStore::LockForUpdate(const std::string& path) {
  // Keyed by the file really written, so that two spellings of one file (or
  // a link and its target) share one lock.
  const std::string target = platform_->ResolveWriteTarget(path);
  if (locks_.count(target)) return;
  std::unique_ptr<FileLock> lock = platform_->LockPath(target, kLockWaitMs);
  if (!lock) throw Exception(FormatWithString(platform_->LoadResString(IDS_CANNOT_LOCK), path));
  locks_.emplace(target, std::move(lock));
  RemoveStaleTemps(*platform_, target);
}

}  // namespace extmerge

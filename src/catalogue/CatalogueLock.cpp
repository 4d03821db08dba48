// The update locks of the catalogue store.
#include "Resources.h"
#include "catalogue/IniFile.h"

namespace extmerge {

void CatalogueStore::LockForUpdate(const std::string& path) {
  // Keyed by the file really written, so that two spellings of one file (or
  // a link and its target) share one lock.
  const std::string target = platform_->ResolveWriteTarget(path);
  if (locks_.count(target)) return;
  std::unique_ptr<FileLock> lock = platform_->LockPath(target, kLockWaitMs);
  if (!lock) throw Exception(FormatWithString(platform_->LoadResString(IDS_CANNOT_LOCK), path));
  locks_.emplace(target, std::move(lock));
}

}  // namespace extmerge

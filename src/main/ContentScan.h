// Host location and content discovery: find the host directory through the
// registry key named on the command line, and register every content folder
// under its Data\ExtContents directory.
#pragma once

#include <string>

#include "catalogue/IniFile.h"
#include "platform/Platform.h"

namespace extmerge {

struct RunContext {
  Platform& sys;
  CatalogueStore& store;
};

// The host directory: the default value of HKEY_CLASSES_ROOT\<param 1>\dstDir,
// read afresh on every call. Raises the host-not-found failure when it is
// missing or empty.
std::string GetDstDir(Platform& platform);
void RegisterAllContents(RunContext& ctx);
void RegisterContent(RunContext& ctx, const std::string& folder);

}  // namespace extmerge

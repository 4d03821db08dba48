#include "main/ContentScan.h"

#include <vector>

#include "Pathutil.h"
#include "Resources.h"
#include "UDatUpdater.h"

namespace extmerge {

std::string GetDstDir(Platform& platform) {
  std::vector<std::string> params = platform.CommandParameters();
  std::string key = params.empty() ? std::string() : params[0];
  std::optional<std::string> value = platform.ReadClassesRootDefault(key + "\\dstDir");
  // A host directory that cannot be found ends the run: working relative to
  // the current directory instead would write catalogues somewhere no host
  // reads them, and still report success.
  if (!value || value->empty()) {
    throw Exception(FormatWithString(platform.LoadResString(IDS_HOST_NOT_FOUND), key));
  }
  return *value;
}

void RegisterAllContents(RunContext& ctx) {
  std::string root = JoinPath(GetDstDir(ctx.sys), "Data\\ExtContents");
  if (!IsDirectory(ctx.sys, root)) return;
  std::vector<DirEntry> entries;
  // A root that cannot be listed holds nothing to register.
  if (ctx.sys.ListDirectory(root, entries) != ListStatus::kOk) return;
  for (const DirEntry& e : entries) {
    if (e.name.empty() || e.name[0] == '.') continue;
    if ((e.attributes & kAttrDirectory) == 0) continue;
    RegisterContent(ctx, root + "\\" + e.name);
  }
}

void RegisterContent(RunContext& ctx, const std::string& folder) {
  // Read afresh for every folder: the value may change during a run.
  std::string host = GetDstDir(ctx.sys);
  // A folder that cannot be listed (no permission, a broken medium) would
  // look like one without catalogues, and its pack would silently stay
  // unregistered: the user is told instead.
  std::vector<DirEntry> entries;
  if (ctx.sys.ListDirectory(folder, entries) == ListStatus::kFailed) {
    throw Exception(FormatWithString(ctx.sys.LoadResString(IDS_CANNOT_READ), folder));
  }
  {
    TTemplateDatUpdater updater(ctx.store, JoinPath(folder, "Template.dat"),
                                JoinPath(host, "Data\\Template\\Template.dat"));
    updater.Update();
  }
  {
    TBackGroundDatUpdater updater(ctx.store, JoinPath(folder, "BackGrnd.dat"),
                                  JoinPath(host, "Data\\Backgrnd\\BackGrnd.dat"));
    updater.Update();
  }
}

}  // namespace extmerge

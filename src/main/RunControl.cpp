#include "main/RunControl.h"

#include <new>
#include <utility>

#include "Resources.h"
#include "catalogue/IniFile.h"
#include "main/ContentScan.h"

namespace extmerge {

namespace {
// Lets code without a Platform (the entry list's failure text) load string
// resources through this run's platform, and puts the previous loader back
// when the run ends, so that no loader outlives its platform.
class ResourceLoaderScope {
 public:
  explicit ResourceLoaderScope(Platform& platform)
      : previous_(SetResourceLoader([&platform](int id) { return platform.LoadResString(id); })) {}
  ~ResourceLoaderScope() { SetResourceLoader(std::move(previous_)); }
  ResourceLoaderScope(const ResourceLoaderScope&) = delete;
  ResourceLoaderScope& operator=(const ResourceLoaderScope&) = delete;

 private:
  ResourceLoader previous_;
};
}  // namespace

int ProgramMain(Platform& platform) {
  SetAnsiCodePage(platform.AnsiCodePageInfo());
  ResourceLoaderScope resources(platform);
  platform.SetFailCriticalErrors();
  // Exactly one parameter runs the tool; anything else does nothing at all.
  if (platform.CommandParameters().size() == 1) Run(platform);
  return 0;
}

bool HasWriteAccess(Platform& platform) {
  // On Windows: may the machine-wide uninstall key be opened for writing?
  return platform.MayWriteMachineSettings();
}

std::string CaptionFromModulePath(std::string_view module_path) {
  // Last component: after the last "\" or ":" (or "/", which the posix build
  // reports), never splitting a double-byte character.
  size_t start = 0;
  size_t dot = std::string_view::npos;
  for (size_t i = 0; i < module_path.size();) {
    size_t len = CharLengthAt(module_path, i);
    if (len == 1) {
      char b = module_path[i];
      if (b == '\\' || b == ':' || b == '/') {
        start = i + 1;
        dot = std::string_view::npos;
      } else if (b == '.') {
        dot = i;
      }
    }
    i += len;
  }
  std::string_view name = module_path.substr(start);
  if (dot != std::string_view::npos) name = name.substr(0, dot - start);
  return std::string(name);
}

int ShowNotice(Platform& platform, const std::string& text, uint32_t type) {
  return platform.ShowMessageBox(text, CaptionFromModulePath(platform.ModuleFileName()), type);
}

void Run(Platform& platform) {
  CatalogueStore store(platform);
  std::string failure;
  try {
    if (!HasWriteAccess(platform)) {
      ShowNotice(platform, platform.LoadResString(IDS_NO_RIGHTS), kMbIconError);
      return;
    }
    RunContext ctx{platform, store};
    RegisterAllContents(ctx);
    store.SaveAll();
    // The message box may stay up for long; other runs need not wait for it.
    store.ReleaseLocks();
    ShowNotice(platform, platform.LoadResString(IDS_SUCCESS), kMbOk);
    return;
  } catch (const Exception& e) {
    failure = e.Message();
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // Whatever was merged before the failure is kept, as it would be had every
  // section been written straight to disk. The failure that ended the run is
  // the one reported, not a later one of this save.
  try {
    store.SaveAll();
  } catch (const std::exception&) {
  }
  store.ReleaseLocks();
  ShowNotice(platform, failure, kMbOk);
}

}  // namespace extmerge

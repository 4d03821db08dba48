// Micro-benchmarks of the hot paths of a registration run: parsing and
// saving a catalogue, merging one section, and the locale comparison.
//
// Files live in memory (so the figures are about the code, not the disk);
// the comparison is this build's real user-locale collation.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UDatUpdater.h"
#include "catalogue/IniFile.h"
#include "platform/SystemPlatform.h"

namespace extmerge {
namespace {

// The system platform of this build, for its collation and code page.
Platform& System() {
  static std::unique_ptr<Platform> sys = [] {
    static char arg0[] = "extmerge_micro_bench";
    static char* argv[] = {arg0, nullptr};
    return MakeSystemPlatform(1, argv);
  }();
  return *sys;
}

class MemPlatform : public Platform {
 public:
  std::map<std::string, std::string> files;

  std::vector<std::string> CommandParameters() override { return {}; }
  std::string ModuleFileName() override { return "C:\\extmerge.exe"; }
  void SetFailCriticalErrors() override {}
  int ShowMessageBox(const std::string&, const std::string&, uint32_t) override { return 1; }
  std::string LoadResString(int id) override { return System().LoadResString(id); }
  std::optional<std::string> ReadClassesRootDefault(const std::string&) override {
    return std::nullopt;
  }
  bool MayWriteMachineSettings() override { return true; }
  CodePageInfo AnsiCodePageInfo() override { return CodePageInfo::Cp932(); }
  const Collation& UserCollation() override { return System().UserCollation(); }
  std::optional<uint32_t> FileAttributesOf(const std::string& path) override {
    if (files.count(path)) return kAttrArchive;
    return std::nullopt;
  }
  ListStatus ListDirectory(const std::string&, std::vector<DirEntry>&) override {
    return ListStatus::kNotFound;
  }
  ReadStatus ReadWholeFile(const std::string& path, std::string& out) override {
    auto it = files.find(path);
    if (it == files.end()) return ReadStatus::kNotFound;
    out = it->second;
    return ReadStatus::kOk;
  }
  std::string ResolveWriteTarget(const std::string& path) override { return path; }

  class MemFile : public WritableFile {
   public:
    explicit MemFile(std::string& target) : target_(&target) {}
    bool Append(std::string_view bytes) override {
      target_->append(bytes);
      return true;
    }
    bool Sync() override { return true; }
    bool Close() override { return true; }

   private:
    std::string* target_;
  };

  std::unique_ptr<WritableFile> CreateTempBeside(const std::string& target,
                                                 std::string& temp_path) override {
    temp_path = target + ".tmp";
    files[temp_path].clear();
    return std::make_unique<MemFile>(files[temp_path]);
  }
  std::unique_ptr<WritableFile> OpenForOverwrite(const std::string& path) override {
    files[path].clear();
    return std::make_unique<MemFile>(files[path]);
  }
  bool RenameReplacing(const std::string& from, const std::string& to) override {
    auto it = files.find(from);
    if (it == files.end()) return false;
    files[to] = std::move(it->second);
    files.erase(from);
    return true;
  }
  bool RemovePath(const std::string& path) override { return files.erase(path) > 0; }
  bool IsWritable(const std::string&) override { return true; }
  std::unique_ptr<FileLock> LockPath(const std::string&, int) override {
    return std::make_unique<FileLock>();
  }
};

// --- catalogue text, shaped like the benchmark workloads ---

const char* const kWords[] = {"桜", "夜景", "表紙", "教室", "海辺", "ソファ", "ｶﾌｪ", "Room"};
const std::string& Marker() {
  static const std::string m = Utf8ToCp932("追加素材");
  return m;
}
std::string Word(unsigned i) { return Utf8ToCp932(kWords[i % (sizeof kWords / sizeof kWords[0])]); }

struct Entry {
  std::string name, value;
};

// Entry `serial` of a family: about half carry the marker.
Entry MakeEntry(char family, unsigned serial) {
  std::string num(1, family);
  num.append(std::to_string(serial));
  Entry e{Word(serial * 7) + "_" + num, "Template\\" + Word(serial * 3) + "\\" + num};
  if (serial % 10 < 3) e.name = Marker() + e.name;
  if (serial % 10 == 3 || serial % 10 == 4) e.value = Marker() + "\\" + e.value;
  return e;
}

std::string SectionName(int i) {
  std::string s = "S";
  s.append(std::to_string(i));
  return s;
}

std::string TemplateText(int sections, const std::vector<std::vector<Entry>>& entries) {
  std::string t = "; list\r\n";
  for (int s = 0; s < sections; ++s) {
    std::string names, dirs;
    for (const Entry& e : entries[s]) {
      if (!names.empty()) names.append(",");
      if (!dirs.empty()) dirs.append(",");
      names.append(e.name);
      dirs.append(e.value);
    }
    t.append("[").append(SectionName(s)).append("]\r\nName=").append(names);
    t.append("\r\nDir=").append(dirs).append("\r\n\r\n");
  }
  return t;
}

std::string BackgroundText(int sections, const std::vector<std::vector<Entry>>& entries) {
  std::string t = "; list\r\n";
  for (int s = 0; s < sections; ++s) {
    t.append("[").append(SectionName(s)).append("]\r\n");
    for (const Entry& e : entries[s]) t.append(e.name).append("=").append(e.value).append("\r\n");
    t.append("\r\n");
  }
  return t;
}

std::vector<std::vector<Entry>> HostEntries(int sections, int per_section) {
  std::vector<std::vector<Entry>> out(sections);
  unsigned serial = 0;
  for (auto& sec : out)
    for (int i = 0; i < per_section; ++i) sec.push_back(MakeEntry('s', ++serial));
  return out;
}

// One source section: `fresh` entries the host lacks and `known` it has.
std::vector<std::vector<Entry>> SourceEntries(const std::vector<Entry>& host, int fresh,
                                              int known) {
  std::vector<Entry> sec;
  for (int i = 0; i < fresh; ++i) sec.push_back(MakeEntry('p', 1000000 + i));
  for (int i = 0; i < known; ++i) sec.push_back(host[(i * 7919u) % host.size()]);
  return {sec};
}

const char kHostPath[] = "C:\\Host\\Data\\Template\\Template.dat";
const char kSourcePath[] = "C:\\Host\\Data\\ExtContents\\Pack\\Template.dat";

// --- parsing and saving ---

void BM_ParseCatalogue(benchmark::State& state, bool background) {
  auto entries = HostEntries(50, 2000);
  MemPlatform mem;
  mem.files[kHostPath] = background ? BackgroundText(50, entries) : TemplateText(50, entries);
  for (auto _ : state) {
    CatalogueStore store(mem);
    TIniFile ini(store, kHostPath);
    TStringList sections(mem.UserCollation());
    ini.ReadSections(sections);
    benchmark::DoNotOptimize(sections.Count());
  }
  state.SetBytesProcessed(state.iterations() * mem.files[kHostPath].size());
}
BENCHMARK_CAPTURE(BM_ParseCatalogue, template_50x2000, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseCatalogue, background_50x2000, true)->Unit(benchmark::kMillisecond);

void BM_SaveCatalogue(benchmark::State& state, bool background) {
  auto entries = HostEntries(50, 2000);
  MemPlatform mem;
  const std::string original = background ? BackgroundText(50, entries) : TemplateText(50, entries);
  for (auto _ : state) {
    state.PauseTiming();
    mem.files[kHostPath] = original;
    auto store = std::make_unique<CatalogueStore>(mem);
    TIniFile ini(*store, kHostPath);
    // One changed key makes the whole document due for saving.
    ini.WriteString(SectionName(25), "Extra", "1");
    state.ResumeTiming();
    store->SaveAll();
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * original.size());
}
BENCHMARK_CAPTURE(BM_SaveCatalogue, template_50x2000, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveCatalogue, background_50x2000, true)->Unit(benchmark::kMillisecond);

// --- one section merge (parse of the host excluded) ---

template <class Updater>
void BM_MergeSection(benchmark::State& state) {
  const int host_size = static_cast<int>(state.range(0));
  const int fresh = static_cast<int>(state.range(1));
  const int known = static_cast<int>(state.range(2));
  constexpr bool kBackground = std::is_same_v<Updater, TBackGroundDatUpdater>;
  auto host = HostEntries(1, host_size);
  auto source = SourceEntries(host[0], fresh, known);
  MemPlatform mem;
  mem.files[kHostPath] = kBackground ? BackgroundText(1, host) : TemplateText(1, host);
  mem.files[kSourcePath] = kBackground ? BackgroundText(1, source) : TemplateText(1, source);
  for (auto _ : state) {
    state.PauseTiming();
    auto store = std::make_unique<CatalogueStore>(mem);
    {
      TIniFile warm(*store, kHostPath);  // parse both files outside the timing
      TIniFile warm_src(*store, kSourcePath);
      TStringList l(mem.UserCollation());
      warm.ReadSections(l);
      warm_src.ReadSections(l);
    }
    state.ResumeTiming();
    Updater updater(*store, kSourcePath, kHostPath);
    updater.Update();
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * (host_size + fresh + known));
}
BENCHMARK_TEMPLATE(BM_MergeSection, TTemplateDatUpdater)
    ->ArgNames({"host", "new", "known"})
    ->Args({2000, 20, 20})
    ->Args({100000, 20000, 2000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_MergeSection, TBackGroundDatUpdater)
    ->ArgNames({"host", "new", "known"})
    ->Args({2000, 20, 20})
    ->Args({100000, 20000, 2000})
    ->Unit(benchmark::kMillisecond);

// --- the locale comparison ---

void BM_Compare(benchmark::State& state) {
  const Collation& coll = System().UserCollation();
  // Pairs as the merge meets them: equal ignoring case, differing at the
  // start, differing only at the end, and with the marker in front.
  Entry a = MakeEntry('s', 12345), b = MakeEntry('s', 12346);
  std::string upper = a.name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const std::pair<std::string, std::string> pairs[] = {
      {a.name + "=" + a.value, upper + "=" + a.value},
      {a.name + "=" + a.value, b.name + "=" + b.value},
      {a.name + "=" + a.value, a.name + "=" + a.value + "x"},
      {Marker() + a.name, Marker() + b.name},
  };
  for (auto _ : state) {
    for (const auto& p : pairs) benchmark::DoNotOptimize(coll.Compare(p.first, p.second));
  }
  state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_Compare);

}  // namespace
}  // namespace extmerge

BENCHMARK_MAIN();

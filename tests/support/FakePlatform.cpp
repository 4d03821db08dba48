#include "support/FakePlatform.h"

#include "Resources.h"
#include "platform/SystemPlatform.h"

namespace extmerge::test {

int AsciiFoldCollation::Compare(std::string_view a, std::string_view b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string AsciiFoldCollation::Key(std::string_view text) const {
  std::string key(text);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return key;
}

int AsciiFoldCollation::CompareKeys(std::string_view ka, std::string_view kb) const {
  int c = ka.compare(kb);  // char_traits<char> compares as unsigned bytes
  return (c > 0) - (c < 0);
}

FakePlatform::FakePlatform() = default;

void FakePlatform::AddDir(const std::string& path, uint32_t extra_attrs) {
  attrs[path] = kAttrDirectory | extra_attrs;
  std::string parent = Parent(path);
  if (!parent.empty()) listing_order[parent].push_back(path.substr(parent.size() + 1));
}

void FakePlatform::AddFile(const std::string& path, std::string bytes, uint32_t extra_attrs) {
  attrs[path] = kAttrArchive | extra_attrs;
  files[path] = std::move(bytes);
  std::string parent = Parent(path);
  if (!parent.empty()) listing_order[parent].push_back(path.substr(parent.size() + 1));
}

std::string FakePlatform::Parent(const std::string& path) {
  size_t pos = path.rfind('\\');
  return pos == std::string::npos ? std::string() : path.substr(0, pos);
}

std::vector<std::string> FakePlatform::CommandParameters() { return params; }

int FakePlatform::ShowMessageBox(const std::string& text, const std::string& caption,
                                 uint32_t style) {
  messages.push_back({text, caption, style});
  return 1;
}

std::string LoadTestResource(int id) { return Utf8ToCp932(ResourceSourceText(id)); }

namespace {
// Code without a Platform loads its texts through the process-wide loader;
// in the unit tests that is the program's own string table.
[[maybe_unused]] const bool kResourcesInstalled = (SetResourceLoader(&LoadTestResource), true);
}  // namespace

std::string FakePlatform::LoadResString(int id) { return LoadTestResource(id); }

std::optional<std::string> FakePlatform::ReadClassesRootDefault(const std::string& subkey) {
  calls.push_back("reg " + subkey);
  if (before_registry_read) before_registry_read(*this);
  auto it = registry.find(subkey);
  if (it == registry.end()) return std::nullopt;
  return it->second;
}

bool FakePlatform::MayWriteMachineSettings() {
  calls.push_back("probe");
  return may_write_machine;
}

std::optional<uint32_t> FakePlatform::FileAttributesOf(const std::string& path) {
  calls.push_back("attr " + path);
  auto it = attrs.find(path);
  if (it == attrs.end()) return std::nullopt;
  return it->second;
}

ListStatus FakePlatform::ListDirectory(const std::string& dir, std::vector<DirEntry>& out) {
  calls.push_back("list " + dir);
  auto a = attrs.find(dir);
  if (a == attrs.end() || !(a->second & kAttrDirectory)) return ListStatus::kNotFound;
  out.clear();
  out.push_back({".", kAttrDirectory});
  out.push_back({"..", kAttrDirectory});
  for (const std::string& name : listing_order[dir])
    out.push_back({name, attrs[dir + "\\" + name]});
  return ListStatus::kOk;
}

ReadStatus FakePlatform::ReadWholeFile(const std::string& path, std::string& out) {
  calls.push_back("read " + path);
  auto a = attrs.find(path);
  if (a == attrs.end()) return ReadStatus::kNotFound;
  if (a->second & kAttrDirectory) return ReadStatus::kIsDirectory;
  out = files[path];
  return ReadStatus::kOk;
}

namespace {
class MemFile : public WritableFile {
 public:
  MemFile(std::string* target) : target_(target) {}
  bool Append(std::string_view bytes) override {
    target_->append(bytes);
    return true;
  }
  bool Sync() override { return true; }
  bool Close() override { return true; }

 private:
  std::string* target_;
};

class NoLock : public FileLock {};
}  // namespace

std::unique_ptr<WritableFile> FakePlatform::CreateTempBeside(const std::string& target,
                                                             std::string& temp_path) {
  temp_path = target + ".tmp" + std::to_string(++temp_counter_);
  calls.push_back("create " + temp_path);
  attrs[temp_path] = kAttrArchive;
  files[temp_path].clear();
  return std::make_unique<MemFile>(&files[temp_path]);
}

std::unique_ptr<WritableFile> FakePlatform::OpenForOverwrite(const std::string& path) {
  calls.push_back("overwrite " + path);
  attrs[path] = kAttrArchive;
  files[path].clear();
  return std::make_unique<MemFile>(&files[path]);
}

bool FakePlatform::RenameReplacing(const std::string& from, const std::string& to) {
  calls.push_back("rename " + from + " " + to);
  if (!files.count(from)) return false;
  files[to] = files[from];
  attrs[to] = attrs[from];
  files.erase(from);
  attrs.erase(from);
  return true;
}

bool FakePlatform::RemovePath(const std::string& path) {
  calls.push_back("remove " + path);
  files.erase(path);
  return attrs.erase(path) > 0;
}

bool FakePlatform::IsWritable(const std::string& path) {
  auto it = attrs.find(path);
  if (it == attrs.end()) return attrs.count(Parent(path)) > 0;
  return (it->second & (kAttrReadOnly | kAttrDirectory)) == 0;
}

std::unique_ptr<FileLock> FakePlatform::LockPath(const std::string& path, int) {
  calls.push_back("lock " + path);
  return std::make_unique<NoLock>();
}

}  // namespace extmerge::test

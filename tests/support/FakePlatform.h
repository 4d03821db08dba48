// In-memory platform for unit tests: files, directories, a registry and a
// message-box record, with a log of the calls the core makes.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace extmerge::test {

// ASCII letters folded, then bytes: enough for tests that are not about the
// locale comparison itself.
class AsciiFoldCollation : public Collation {
 public:
  int Compare(std::string_view a, std::string_view b) const override;
  // The text with ASCII letters lowered; keys compare as unsigned bytes.
  std::string Key(std::string_view text) const override;
  int CompareKeys(std::string_view ka, std::string_view kb) const override;
};

// The program's string table (res/strings.def) in code page 932. Also the
// process-wide resource loader of the unit tests.
std::string LoadTestResource(int id);

struct ShownMessage {
  std::string text;
  std::string caption;
  uint32_t style;
};

class FakePlatform : public Platform {
 public:
  FakePlatform();

  // --- set-up ---
  std::vector<std::string> params;
  std::string module_file = "C:\\Tools\\extmerge.exe";
  std::map<std::string, std::string> registry;  // subkey (as given) -> default value
  // Called before every registry read, e.g. to change a value during a run.
  std::function<void(FakePlatform&)> before_registry_read;
  bool may_write_machine = true;
  void AddDir(const std::string& path, uint32_t extra_attrs = 0);
  void AddFile(const std::string& path, std::string bytes, uint32_t extra_attrs = 0);
  // Directories list their entries in insertion order unless sorted here.
  std::map<std::string, std::vector<std::string>> listing_order;

  // --- observations ---
  std::vector<ShownMessage> messages;
  std::vector<std::string> calls;  // "attr <path>", "list <path>", "read <path>", ...
  bool critical_errors_off = false;
  std::map<std::string, std::string> files;
  std::map<std::string, uint32_t> attrs;

  // --- Platform ---
  std::vector<std::string> CommandParameters() override;
  std::string ModuleFileName() override { return module_file; }
  void SetFailCriticalErrors() override { critical_errors_off = true; }
  int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  std::string LoadResString(int id) override;
  std::optional<std::string> ReadClassesRootDefault(const std::string& subkey) override;
  bool MayWriteMachineSettings() override;
  CodePageInfo AnsiCodePageInfo() override { return CodePageInfo::Cp932(); }
  const Collation& UserCollation() override { return collation_; }
  std::optional<uint32_t> FileAttributesOf(const std::string& path) override;
  ListStatus ListDirectory(const std::string& dir, std::vector<DirEntry>& out) override;
  ReadStatus ReadWholeFile(const std::string& path, std::string& out) override;
  std::string ResolveWriteTarget(const std::string& path) override { return path; }
  std::unique_ptr<WritableFile> CreateTempBeside(const std::string& target,
                                                 std::string& temp_path) override;
  std::unique_ptr<WritableFile> OpenForOverwrite(const std::string& path) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;
  bool RemovePath(const std::string& path) override;
  bool IsWritable(const std::string& path) override;
  std::unique_ptr<FileLock> LockPath(const std::string& path, int timeout_ms) override;

 private:
  static std::string Parent(const std::string& path);
  AsciiFoldCollation collation_;
  int temp_counter_ = 0;
};

}  // namespace extmerge::test

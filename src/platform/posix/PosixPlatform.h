// The Linux stand-ins for the Windows services the tool uses.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace extmerge::posix {

// Environment variable naming the registry stand-in file.
inline constexpr const char* kRegistryVariable = "EXTMERGE_REGISTRY";

class PosixPlatform : public Platform {
 public:
  // argv as given to main(); argv[0] is the program's own name.
  PosixPlatform(int argc, char** argv);
  ~PosixPlatform() override;

  std::vector<std::string> CommandParameters() override;
  std::string ModuleFileName() override;
  void SetFailCriticalErrors() override {}
  int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  std::string LoadResString(int id) override;

  std::optional<std::string> ReadClassesRootDefault(const std::string& subkey) override;
  bool MayWriteMachineSettings() override;

  CodePageInfo AnsiCodePageInfo() override { return CodePageInfo::Cp932(); }
  const Collation& UserCollation() override;

  std::optional<uint32_t> FileAttributesOf(const std::string& path) override;
  ListStatus ListDirectory(const std::string& dir, std::vector<DirEntry>& out) override;
  ReadStatus ReadWholeFile(const std::string& path, std::string& out) override;
  std::string ResolveWriteTarget(const std::string& path) override;
  std::unique_ptr<WritableFile> CreateTempBeside(const std::string& target,
                                                 std::string& temp_path) override;
  std::unique_ptr<WritableFile> OpenForOverwrite(const std::string& path) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;
  bool RemovePath(const std::string& path) override;
  bool IsWritable(const std::string& path) override;
  std::unique_ptr<FileLock> LockPath(const std::string& path, int timeout_ms) override;

 private:
  std::vector<std::string> params_;
  std::unique_ptr<Collation> collation_;
};

// Reads a file of the native file system whole (no size limit).
ReadStatus ReadNativeFile(const std::string& native_path, std::string& out);

// Sort key of a file name (UTF-8) in the order Windows lists a directory on
// NTFS: its UTF-16 units, each upper-cased, compared unit by unit. Bytes that
// are not valid UTF-8 take their place as U+DC00 + byte.
std::u16string ListingKey(std::string_view utf8_name);

}  // namespace extmerge::posix

// The Windows layer: the platform interface on the system's own ANSI ("A")
// functions, so that every text stays in the ANSI code page as the core
// expects; only paths too long for them go to the wide ("W") functions
// (Win32Files.cpp). Split over several files by area; this header is private
// to them.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace extmerge::win32 {

// CompareStringA in the user's default locale, case ignored.
class UserLocaleCollation : public Collation {
 public:
  int Compare(std::string_view a, std::string_view b) const override;
  std::string Key(std::string_view text) const override;
  int CompareKeys(std::string_view ka, std::string_view kb) const override;
};

class Win32Platform : public Platform {
 public:
  // --- process (Win32Process.cpp) ---
  std::vector<std::string> CommandParameters() override;
  std::string ModuleFileName() override;
  void SetFailCriticalErrors() override;
  int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  std::string LoadResString(int id) override;

  // --- registry (Win32Process.cpp) ---
  std::optional<std::string> ReadClassesRootDefault(const std::string& subkey) override;
  bool MayWriteMachineSettings() override;

  // --- text (Win32Text.cpp) ---
  CodePageInfo AnsiCodePageInfo() override;
  const Collation& UserCollation() override { return collation_; }

  // --- file system (Win32Files.cpp) ---
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
  UserLocaleCollation collation_;
};

// The given code page -> UTF-16, strictly: false when any byte sequence is
// invalid in `code_page`.
bool ToWideStrict(UINT code_page, std::string_view text, std::wstring& wide);

// UTF-16 -> the given code page (CP_ACP, 932, CP_UTF8), default replacement
// rules of the system. Empty on failure.
std::string WideToMultiByte(UINT code_page, std::wstring_view wide);

}  // namespace extmerge::win32

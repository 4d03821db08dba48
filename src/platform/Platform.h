// What the tool asks of the operating system, and nothing more.
//
// The core talks to the system only through this interface; it never sees
// the system's own headers. Implementations: platform/win32 (the real
// Windows calls), platform/posix (stand-ins for Linux) and the in-memory fake
// of the unit tests. Method names deliberately differ from the Windows API
// names: <windows.h> defines many of those as macros (MessageBox,
// GetFileAttributes, CompareString, DeleteFile, LoadString ...), which would
// silently rename our methods in any file that includes it.
//
// Every string is bytes in the ANSI code page (932). Paths are Windows paths
// with "\" separators; the posix layer maps them where they touch the disk.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Sysutil.h"

namespace extmerge {

// File attribute bits, with the values Windows uses.
enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
};

struct DirEntry {
  std::string name;
  uint32_t attributes = 0;
};

enum class ListStatus { kOk, kNotFound, kFailed };
enum class ReadStatus { kOk, kNotFound, kIsDirectory, kFailed };

// The user-locale comparison of entries and names: case ignored, nothing else
// ignored (kana type and width stay significant). Negative, zero or positive;
// only zero means equal. Must be a consistent total order, because lookups
// use sorted indexes built with it.
//
// Keys serve the lists that compare the same texts many times: a key is
// computed once per text, and then
//   Key(a) == Key(b) (byte for byte) exactly when Compare(a, b) == 0, so
//   keys may be hashed for equality lookups, and
//   CompareKeys(Key(a), Key(b)) has the sign of Compare(a, b), at a fraction
//   of its cost.
class Collation {
 public:
  virtual ~Collation() = default;
  virtual int Compare(std::string_view a, std::string_view b) const = 0;
  virtual std::string Key(std::string_view text) const = 0;
  virtual int CompareKeys(std::string_view ka, std::string_view kb) const = 0;
};

// A file being written. Each call reports success; after a failure the
// writer is only closed.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual bool Append(std::string_view bytes) = 0;
  virtual bool Sync() = 0;  // data on stable storage
  virtual bool Close() = 0;
};

// An exclusive lock held until the object is destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- process ---
  // The command-line parameters after the program's own name, up to (not
  // including) the first one that comes out empty.
  virtual std::vector<std::string> CommandParameters() = 0;
  // Full path of the running program file as the system reports it.
  virtual std::string ModuleFileName() = 0;
  // Critical-error boxes off: such failures come back as ordinary errors.
  virtual void SetFailCriticalErrors() = 0;
  // One message box; returns the button that closed it.
  virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                             uint32_t style) = 0;
  // A string resource of the program, in the ANSI code page.
  virtual std::string LoadResString(int id) = 0;

  // --- registry ---
  // Default value of HKEY_CLASSES_ROOT\<subkey>, whole; nullopt when the key
  // or its default value is missing or unreadable.
  virtual std::optional<std::string> ReadClassesRootDefault(const std::string& subkey) = 0;
  // May this user change machine-wide settings?
  virtual bool MayWriteMachineSettings() = 0;

  // --- text ---
  virtual CodePageInfo AnsiCodePageInfo() = 0;
  virtual const Collation& UserCollation() = 0;

  // --- file system ---
  // nullopt when the path does not exist or cannot be queried.
  virtual std::optional<uint32_t> FileAttributesOf(const std::string& path) = 0;
  // Entries of a directory, "." and ".." and other dot names included, in
  // the order the system lists them.
  virtual ListStatus ListDirectory(const std::string& dir, std::vector<DirEntry>& out) = 0;
  virtual ReadStatus ReadWholeFile(const std::string& path, std::string& out) = 0;

  // The file that writing to `path` really changes (a symbolic link is
  // written through to its target).
  virtual std::string ResolveWriteTarget(const std::string& path) = 0;
  // A new, empty temporary file in the directory of `target`, carrying the
  // target's permission bits. Its path goes to temp_path. nullptr when none
  // can be made there. Its name is the target's name followed by
  // ".extmerge-", anything unique and ".tmp" (a leading "." is allowed), a
  // name the host never reads; a run that holds the target's update lock
  // removes such files that a killed run left behind.
  virtual std::unique_ptr<WritableFile> CreateTempBeside(const std::string& target,
                                                         std::string& temp_path) = 0;
  // Truncates and rewrites a file in place (fallback when no temporary file
  // can be made beside it).
  virtual std::unique_ptr<WritableFile> OpenForOverwrite(const std::string& path) = 0;
  // Atomically puts `from` in place of `to`, durably.
  virtual bool RenameReplacing(const std::string& from, const std::string& to) = 0;
  virtual bool RemovePath(const std::string& path) = 0;
  // Can the file at `path` be written (it exists and is not read-only, or it
  // does not exist and its directory does)? A cheap check before writing.
  virtual bool IsWritable(const std::string& path) = 0;
  // An exclusive lock tied to `path` (not to the file object, so it survives
  // the file being replaced by a rename). Waits at most timeout_ms; nullptr
  // when it cannot be had.
  virtual std::unique_ptr<FileLock> LockPath(const std::string& path, int timeout_ms) = 0;
};

}  // namespace extmerge

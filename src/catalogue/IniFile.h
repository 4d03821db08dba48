// The catalogue (INI) layer.
//
// Catalogue files are parsed once into memory and shared by every handle on
// the same path through a CatalogueStore; changes are kept in memory and
// written back by the store (atomically, only when the bytes changed).
// Reading behaves like the Windows profile functions for catalogue files;
// unlike them nothing is ever cut at a buffer size, and every byte an
// operation does not change stays as it was.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "StringList.h"
#include "platform/Platform.h"

namespace extmerge {

class IniDocument;  // parsed file, defined in IniDocument.h

// Owns the parsed catalogue files of one run, keyed by path exactly as given.
class CatalogueStore {
 public:
  explicit CatalogueStore(Platform& platform);
  ~CatalogueStore();
  CatalogueStore(const CatalogueStore&) = delete;
  CatalogueStore& operator=(const CatalogueStore&) = delete;

  Platform& Sys() { return *platform_; }
  // The document for a path, read from disk on first use.
  IniDocument& Open(const std::string& path);
  // Writes every changed document back. Raises the write failure ("%s に
  // 書き込めません") of the first document that cannot be saved, after trying
  // all of them.
  void SaveAll();

  // Guards a catalogue this run rewrites (a host catalogue) against other
  // runs, from before its first read until ReleaseLocks, so that two runs
  // never both read the old file and the later save loses the earlier one's
  // entries. Taken once per file; waits at most kLockWaitMs, then raises the
  // lock failure ("%s は他のプログラムが使用中のため書き込めません") naming
  // the path as given.
  void LockForUpdate(const std::string& path);
  // Lets the other runs go on; called after the final save.
  void ReleaseLocks() { locks_.clear(); }
  static constexpr int kLockWaitMs = 10000;

 private:
  Platform* platform_;
  // Declared before the documents: released only after they are gone.
  std::map<std::string, std::unique_ptr<FileLock>> locks_;
  std::map<std::string, std::unique_ptr<IniDocument>> docs_;
};

// How a handle is going to use its file. kUpdate is for a file the run
// rewrites: the handle takes the file's update lock in the store on creation.
// Sources stay unlocked: they may be on read-only media.
enum class IniAccess { kRead, kUpdate };

// An INI handle: the operations the merge performs on one catalogue file.
// Creating one does not touch the file (apart from an update lock).
class TIniFile {
 public:
  TIniFile(CatalogueStore& store, std::string path);
  TIniFile(CatalogueStore& store, std::string path, IniAccess access)
      : TIniFile(store, std::move(path)) {
    if (access == IniAccess::kUpdate) store.LockForUpdate(path_);
  }

  const std::string& FileName() const { return path_; }

  // Section names in file order (list emptied first).
  void ReadSections(TStringList& list);
  // Key names of a section in file order (list emptied first).
  void ReadSection(const std::string& section, TStringList& list);
  // The key's value, or def when the section or key is absent.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def = std::string());
  // For each key: a non-empty value sets name=value (replacing an entry of
  // that name in place), an empty value removes an entry of that name. The
  // list is not emptied first.
  void ReadSectionValues(const std::string& section, TStringList& list);
  // Raises the write failure when the file cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Failures are ignored.
  void DeleteKey(const std::string& section, const std::string& key);

 private:
  IniDocument& Doc();
  CatalogueStore* store_;
  std::string path_;
};

}  // namespace extmerge

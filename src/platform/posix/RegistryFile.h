// The registry stand-in of the posix layer: a registry export file in the
// regedit format, code page 932 bytes.
//
//   REGEDIT4                                  (or "Windows Registry Editor
//                                              Version 5.00")
//   [HKEY_CLASSES_ROOT\MyHost\dstDir]
//   @="/srv/host/"
//
// Lines end in CRLF or LF. A file that starts with a byte order mark is
// Unicode text (UTF-8, or UTF-16LE as the Windows editor exports it) and is
// converted to code page 932 first. Key names match without regard to case (ASCII, full-width and
// other letters, by their Unicode upper case); the roots may be abbreviated
// (HKCR, HKLM, ...). In a string value `\\` stands for "\" and `\"` for a
// double quote; a backslash before anything else is kept. Double-byte
// characters are read whole, so a second byte 0x5C or 0x22 is never taken
// for an escape or a quote. Lines that cannot be read are skipped. Keys are
// only those named in the file (a parent key is not implied). A key line
// `[-...]` removes that key and the keys under it, and `@=-` the default.
// Only a string default value counts; a default of another type (hex:,
// dword:) reads as missing.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace extmerge::posix {

class RegistryFile {
 public:
  // Never fails: a file without the header has no keys.
  static RegistryFile Parse(std::string_view bytes);

  bool HasKey(std::string_view key_path) const;
  // The default value of `key_path` (e.g. "HKEY_CLASSES_ROOT\MyHost\dstDir"),
  // whole; nullopt when the key or its default value is missing.
  std::optional<std::string> DefaultValue(std::string_view key_path) const;
  size_t KeyCount() const { return keys_.size(); }

 private:
  // Key path -> the form lookups compare: decoded, upper-cased, root
  // abbreviated.
  static std::u16string KeyId(std::string_view key_path);

  std::map<std::u16string, std::optional<std::string>> keys_;
};

}  // namespace extmerge::posix

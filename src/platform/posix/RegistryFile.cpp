#include "platform/posix/RegistryFile.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <vector>

#include "Sysutil.h"
#include "platform/SystemPlatform.h"
#include "platform/posix/PosixText.h"

namespace extmerge::posix {

namespace {

const CodePageInfo& Cp() {
  static const CodePageInfo cp = CodePageInfo::Cp932();
  return cp;
}

// Length of the character at line[i]: 2 for a lead byte followed by a byte
// that can follow it, else 1.
size_t CharLen(std::string_view line, size_t i) {
  if (i + 1 < line.size() && Cp().IsLead(static_cast<unsigned char>(line[i])) &&
      IsCp932Trail(static_cast<unsigned char>(line[i + 1])))
    return 2;
  return 1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A quoted string starting at line[pos] (a double quote). On success, the
// unescaped text, and pos is moved past the closing quote.
std::optional<std::string> ReadQuoted(std::string_view line, size_t& pos) {
  std::string out;
  size_t i = pos + 1;
  while (i < line.size()) {
    size_t len = CharLen(line, i);
    if (len == 2) {
      out.append(line.substr(i, 2));
      i += 2;
      continue;
    }
    char c = line[i];
    if (c == '"') {
      pos = i + 1;
      return out;
    }
    if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '\\' || line[i + 1] == '"')) {
      out.push_back(line[i + 1]);
      i += 2;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return std::nullopt;  // no closing quote on this line
}

void SkipBlanks(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
}

// Does a value line (after its "=") go on at the next line? Hex values are
// split with a trailing backslash.
bool ContinuesOnNextLine(std::string_view value) {
  value = TrimBlanks(value);
  return !value.empty() && value.front() != '"' && value.back() == '\\';
}

}  // namespace

std::u16string RegistryFile::KeyId(std::string_view key_path) {
  std::u16string decoded;
  DecodeCp932Distinct(key_path, decoded);
  std::u16string id;
  id.reserve(decoded.size());
  for (size_t i = 0; i < decoded.size();) {
    UChar32 c;
    U16_NEXT(decoded.data(), i, decoded.size(), c);
    c = u_toupper(c);
    if (c <= 0xFFFF) {
      id.push_back(static_cast<char16_t>(c));
    } else {
      id.push_back(static_cast<char16_t>(U16_LEAD(c)));
      id.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  }
  static const std::pair<std::u16string_view, std::u16string_view> kRoots[] = {
      {u"HKEY_CLASSES_ROOT", u"HKCR"},   {u"HKEY_CURRENT_USER", u"HKCU"},
      {u"HKEY_LOCAL_MACHINE", u"HKLM"},  {u"HKEY_USERS", u"HKU"},
      {u"HKEY_CURRENT_CONFIG", u"HKCC"},
  };
  size_t sep = id.find(u'\\');
  std::u16string_view root = std::u16string_view(id).substr(0, sep);
  for (const auto& [full, abbreviation] : kRoots) {
    if (root == full) return std::u16string(abbreviation) + id.substr(root.size());
  }
  return id;
}

RegistryFile RegistryFile::Parse(std::string_view bytes) {
  // A byte order mark says the file is Unicode text after all (UTF-16 is
  // what the Windows editor exports): bring it to code page 932 first.
  std::string converted;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    converted = Utf8ToCp932(bytes.substr(3));
    bytes = converted;
  } else if (bytes.substr(0, 2) == "\xFF\xFE") {
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
    std::string utf8;
    utf8.resize(units.size() * 3);
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(utf8.data(), static_cast<int32_t>(utf8.size()), &len,
                       reinterpret_cast<const UChar*>(units.data()),
                       static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &err);
    if (U_FAILURE(err)) return RegistryFile();
    utf8.resize(static_cast<size_t>(len));
    converted = Utf8ToCp932(utf8);
    bytes = converted;
  }

  RegistryFile file;
  std::vector<std::string_view> lines;
  for (size_t start = 0; start <= bytes.size();) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  if (lines.empty()) return file;
  std::string_view header = TrimBlanks(lines[0]);
  if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") return file;

  std::optional<std::u16string> current;  // the key the value lines belong to
  bool continuation = false;
  for (size_t n = 1; n < lines.size(); ++n) {
    std::string_view line = TrimBlanks(lines[n]);
    if (continuation) {
      continuation = !line.empty() && line.back() == '\\';
      continue;
    }
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      current.reset();
      size_t close = std::string_view::npos;
      for (size_t i = 1; i < line.size(); i += CharLen(line, i)) {
        if (line[i] == ']' && CharLen(line, i) == 1) close = i;
      }
      if (close == std::string_view::npos) continue;
      std::string_view name = line.substr(1, close - 1);
      if (!name.empty() && name.front() == '-') {
        std::u16string id = KeyId(name.substr(1));
        file.keys_.erase(id);
        std::u16string prefix = id + u"\\";
        for (auto it = file.keys_.lower_bound(prefix);
             it != file.keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
          it = file.keys_.erase(it);
        continue;
      }
      if (name.empty()) continue;
      current = KeyId(name);
      file.keys_.try_emplace(*current);
      continue;
    }

    // A value line: @=... (the default) or "name"=...
    size_t pos = 0;
    bool is_default = false;
    if (line.front() == '@') {
      is_default = true;
      pos = 1;
    } else if (line.front() == '"') {
      if (!ReadQuoted(line, pos)) continue;
    } else {
      continue;
    }
    SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    SkipBlanks(line, pos);
    std::string_view value = line.substr(pos);
    continuation = ContinuesOnNextLine(value);
    if (!is_default || !current) continue;

    std::optional<std::string>& slot = file.keys_[*current];
    if (!value.empty() && value.front() == '"') {
      std::optional<std::string> text = ReadQuoted(line, pos);
      if (text) slot = std::move(text);
    } else {
      slot.reset();  // "-" removes it; other types are not strings
    }
  }
  return file;
}

bool RegistryFile::HasKey(std::string_view key_path) const {
  return keys_.count(KeyId(key_path)) > 0;
}

std::optional<std::string> RegistryFile::DefaultValue(std::string_view key_path) const {
  auto it = keys_.find(KeyId(key_path));
  if (it == keys_.end()) return std::nullopt;
  return it->second;
}

}  // namespace extmerge::posix

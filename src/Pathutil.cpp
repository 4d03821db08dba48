#include "Pathutil.h"

namespace extmerge {

bool IsDirectory(Platform& platform, const std::string& path) {
  std::optional<uint32_t> attrs = platform.FileAttributesOf(path);
  return attrs && (*attrs & kAttrDirectory) != 0;
}

bool LastCharIs(std::string_view text, unsigned char c) {
  if (text.empty()) return false;
  // Walk from the start: only a forward scan can tell whether the last byte
  // is the second byte of a double-byte character.
  size_t i = 0;
  size_t last = 0;
  while (i < text.size()) {
    last = i;
    i += CharLengthAt(text, i);
  }
  return last == text.size() - 1 && static_cast<unsigned char>(text[last]) == c;
}

std::string WithTrailingBackslash(std::string_view dir) {
  std::string result(dir);
  if (!dir.empty() && !LastCharIs(dir, '\\')) result.push_back('\\');
  return result;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string result = WithTrailingBackslash(dir);
  result.append(name);
  return result;
}

}  // namespace extmerge

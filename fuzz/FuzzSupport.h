// Small helpers shared by the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace extmerge::fuzz {

// A property of the code under test does not hold: report and abort, so that
// libFuzzer keeps the input as a crash artifact.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}
inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// Prints bytes readably (for the report of a violated property).
inline void Dump(const char* what, std::string_view bytes) {
  std::fprintf(stderr, "%s (%zu bytes): ", what, bytes.size());
  for (unsigned char c : bytes) std::fprintf(stderr, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
  std::fprintf(stderr, "\n");
}

// Byte order, ASCII letters folded: a consistent total order that needs no
// locale, so that the targets stay fast and deterministic.
class FoldCollation : public Collation {
 public:
  int Compare(std::string_view a, std::string_view b) const override {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]);
      unsigned char y = static_cast<unsigned char>(b[i]);
      if (x >= 'A' && x <= 'Z') x += 32;
      if (y >= 'A' && y <= 'Z') y += 32;
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  // The text with ASCII letters lowered; keys compare as unsigned bytes.
  std::string Key(std::string_view text) const override {
    std::string key(text);
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return key;
  }
  int CompareKeys(std::string_view ka, std::string_view kb) const override {
    int c = ka.compare(kb);
    return (c > 0) - (c < 0);
  }
};

// Splits fuzz input into parts at a separator byte sequence; the last part
// takes the rest.
inline std::string_view TakePart(std::string_view& rest, std::string_view separator) {
  const size_t at = rest.find(separator);
  std::string_view part = rest.substr(0, at);
  rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + separator.size());
  return part;
}

}  // namespace extmerge::fuzz

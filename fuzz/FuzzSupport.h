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

// Splits fuzz input into parts at a separator byte sequence; the last part
// takes the rest.
inline std::string_view TakePart(std::string_view& rest, std::string_view separator) {
  const size_t at = rest.find(separator);
  std::string_view part = rest.substr(0, at);
  rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + separator.size());
  return part;
}

}  // namespace extmerge::fuzz

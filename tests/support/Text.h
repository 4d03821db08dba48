// Test helpers for code page 932 text written as UTF-8 in the test sources.
#pragma once

#include <string>
#include <string_view>

#include "platform/SystemPlatform.h"

namespace extmerge::test {

// UTF-8 source text -> code page 932 bytes.
inline std::string J(std::string_view utf8) { return Utf8ToCp932(utf8); }

}  // namespace extmerge::test

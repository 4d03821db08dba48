// Path helpers for multibyte (Shift-JIS) paths, where the second byte of a
// double-byte character may have the value of "\" and is not a separator.
#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace extmerge {

bool IsDirectory(Platform& platform, const std::string& path);
// Is the last character of text exactly the single byte c?
bool LastCharIs(std::string_view text, unsigned char c);
std::string WithTrailingBackslash(std::string_view dir);
std::string JoinPath(std::string_view dir, std::string_view name);

}  // namespace extmerge

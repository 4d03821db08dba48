// The platform layer of this build (win32 or posix), and the text
// conversions it offers to tools and tests.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace extmerge {

// argc/argv are used by the posix layer; the Windows layer reads the
// command line from the system.
std::unique_ptr<Platform> MakeSystemPlatform(int argc, char** argv);

// Code page 932 <-> UTF-8. Characters that have no counterpart are passed
// through as their raw bytes.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

}  // namespace extmerge

// Placeholder: the posix stand-ins are implemented by the platform work.
#include <stdexcept>
#include "platform/SystemPlatform.h"
namespace extmerge {
std::unique_ptr<Platform> MakeSystemPlatform(int, char**) {
  throw std::runtime_error("posix platform not implemented");
}
std::string Cp932ToUtf8(std::string_view s) { return std::string(s); }
std::string Utf8ToCp932(std::string_view s) { return std::string(s); }
}  // namespace extmerge

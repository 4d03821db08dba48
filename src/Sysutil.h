// Shared basics of the tool: the failure type every routine raises, the
// code page's lead-byte table, and safe message formatting.
//
// All text is bytes in the system ANSI code page (Shift-JIS, code page 932,
// on the target systems). Nothing here converts encodings.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace extmerge {

// A failure that ends the run. Carries the message shown to the user, as
// code page bytes. Only the run control catches it.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Reading or deleting outside an entry list.
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

// Lead bytes of the ANSI code page. A byte is only ever treated as a lead
// byte when the system reports double-byte support.
struct CodePageInfo {
  bool dbcs = false;
  std::array<bool, 256> lead{};

  bool IsLead(unsigned char b) const { return dbcs && lead[b]; }
  static CodePageInfo Cp932();       // 81-9F, E0-FC, DBCS on
  static CodePageInfo SingleByte();  // no lead bytes
};

// The table read once at start-up. Until then (unit tests) it is code page 932.
const CodePageInfo& AnsiCodePage();
void SetAnsiCodePage(const CodePageInfo& info);

// Length in bytes of the character starting at text[i] (1 or 2). A lead byte
// at the very end of the text counts as a single byte.
size_t CharLengthAt(std::string_view text, size_t i);

// Replaces the first "%s" of a message template with the given argument,
// byte for byte. The argument is never interpreted as a format.
std::string FormatWithString(std::string_view templ, std::string_view arg);
// Replaces the first "%d" of a message template with a decimal number.
std::string FormatWithInt(std::string_view templ, long long value);

// String resources for code that has no Platform at hand (the entry list's
// failure text). The run control installs the platform's loader at start-up;
// the unit-test support installs its own. Returns the loader it replaces, so
// that a caller can put it back.
using ResourceLoader = std::function<std::string(int id)>;
ResourceLoader SetResourceLoader(ResourceLoader loader);
// The text of a string resource, in the ANSI code page; the empty text when
// no loader is installed.
std::string LoadResourceText(int id);

}  // namespace extmerge

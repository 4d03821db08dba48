// The registry-file reader of the posix layer: any bytes parse without
// fault; a value written the way the export format escapes it reads back
// whole, under any spelling of its key's case.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "Sysutil.h"
#include "platform/posix/RegistryFile.h"

using namespace extmerge;

namespace {

// The value in the export format's quotes: "\" and '"' escaped, double-byte
// characters copied whole. Empty when the value cannot be written so (a line
// break, or a lead byte without a byte that can follow it).
std::optional<std::string> Escape(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size();) {
    const unsigned char b = static_cast<unsigned char>(value[i]);
    if (b == '\r' || b == '\n') return std::nullopt;
    if (AnsiCodePage().IsLead(b)) {
      if (i + 1 >= value.size()) return std::nullopt;
      const unsigned char t = static_cast<unsigned char>(value[i + 1]);
      if (t < 0x40 || t == 0x7F || t > 0xFC) return std::nullopt;
      out.append(value.substr(i, 2));
      i += 2;
      continue;
    }
    if (b == '\\' || b == '"') out += '\\';
    out += static_cast<char>(b);
    ++i;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool unicode_header = in.ConsumeBool();
  std::string key;
  for (char c : in.ConsumeRandomLengthString(24)) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) key += c;
  }
  const std::string value = in.ConsumeRandomLengthString(256);
  const std::string raw = in.ConsumeRemainingBytesAsString();

  // Whatever the file holds, reading it is safe.
  const posix::RegistryFile any = posix::RegistryFile::Parse(raw);
  (void)any.DefaultValue("HKEY_CLASSES_ROOT\\MyHost\\dstDir");

  const std::optional<std::string> escaped = Escape(value);
  if (key.empty() || !escaped) return 0;
  std::string file =
      unicode_header ? "Windows Registry Editor Version 5.00\r\n\r\n" : "REGEDIT4\r\n\r\n";
  file += "[HKEY_CLASSES_ROOT\\" + key + "\\dstDir]\r\n@=\"" + *escaped + "\"\r\n";
  const posix::RegistryFile reg = posix::RegistryFile::Parse(file);
  std::string folded = key;
  for (char& c : folded) c = (c >= 'a' && c <= 'z') ? c - 32 : (c >= 'A' && c <= 'Z') ? c + 32 : c;
  for (const std::string& k : {key, folded}) {
    const std::optional<std::string> got = reg.DefaultValue("HKEY_CLASSES_ROOT\\" + k + "\\dstDir");
    fuzz::Check(got && *got == value, "an escaped value reads back whole");
  }
  return 0;
}

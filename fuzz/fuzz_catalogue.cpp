// The catalogue parser and saver: any bytes parse without fault, and an
// untouched file saves byte for byte as it was; after any edits, the saved
// text read back gives exactly what the edited document gives, and saving
// that again changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "catalogue/IniDocument.h"

using namespace extmerge;

namespace {

// Section and key names as the merge writes them: names it read from a
// catalogue, so never holding a line break, "=", "[" or "]", never starting
// a comment and never padded with blanks.
std::string Name(FuzzedDataProvider& in) {
  std::string name;
  for (char c : in.ConsumeRandomLengthString(12)) {
    if (c == '\r' || c == '\n' || c == '=' || c == '[' || c == ']') continue;
    name += c;
  }
  const size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  name = name.substr(first, name.find_last_not_of(" \t") + 1 - first);
  if (name[0] == ';') name[0] = '_';
  return name;
}

std::string Value(FuzzedDataProvider& in) {
  std::string value;
  for (char c : in.ConsumeRandomLengthString(40)) {
    if (c != '\r' && c != '\n') value += c;
  }
  return value;
}

void CheckSameReading(const IniDocument& a, const IniDocument& b) {
  const std::vector<std::string> sections = a.SectionNames();
  if (sections != b.SectionNames()) fuzz::Dump("saved", b.Bytes());
  fuzz::Check(sections == b.SectionNames(), "same sections after saving");
  for (const std::string& s : sections) {
    fuzz::Check(a.KeyValues(s) == b.KeyValues(s), "same keys and values after saving");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string original = in.ConsumeRandomLengthString(size);
  IniDocument doc(original);
  fuzz::Check(doc.Bytes() == original, "an untouched file saves byte-identical");

  while (in.remaining_bytes() > 0) {
    const std::string section = Name(in);
    const std::string key = Name(in);
    if (section.empty() || key.empty()) continue;
    if (in.ConsumeBool()) {
      const std::string value = Value(in);
      doc.Write(section, key, value);
      // What the merge writes, it reads back: a plain value (no blanks
      // around it, no enclosing quotes) comes back unchanged.
      const bool plain = value.empty() || (value.find_first_of(" \t", 0) != 0 &&
                                           value.find_last_of(" \t") != value.size() - 1 &&
                                           !(value.size() >= 2 && value.front() == value.back() &&
                                             (value.front() == '"' || value.front() == '\'')));
      if (plain) fuzz::Check(doc.Value(section, key) == value, "a written value reads back");
    } else {
      doc.Remove(section, key);
    }
  }

  const std::string saved = doc.Bytes();
  IniDocument reread(saved);
  CheckSameReading(doc, reread);
  fuzz::Check(reread.Bytes() == saved, "saving again changes nothing");
  return 0;
}

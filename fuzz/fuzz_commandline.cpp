// The command-line splitter: any bytes (including lead bytes without a trail,
// NUL, unbalanced quotes) split without fault; every parameter after the
// program name is non-empty; nothing is invented; quoting the parameters
// again and splitting gives them back.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "main/CommandLine.h"

using namespace extmerge;

namespace {

// Does the text end with a lead byte that has no trail byte? Quoting such a
// parameter puts the quote right after the lead byte, where it would be read
// as the second byte of a double-byte character.
bool EndsWithLoneLead(std::string_view text) {
  size_t i = 0;
  size_t last = 0;
  while (i < text.size()) {
    last = CharLengthAt(text, i);
    i += last;
  }
  return last == 1 && AnsiCodePage().IsLead(static_cast<unsigned char>(text.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> params = SplitCommandLine(line);
  fuzz::Check(!params.empty(), "the program name is always there");
  size_t total = 0;
  bool requotable = !params[0].empty();
  for (size_t i = 0; i < params.size(); ++i) {
    total += params[i].size();
    fuzz::Check(i == 0 || !params[i].empty(), "counting stops at the first empty parameter");
    fuzz::Check(params[i].find('\0') == std::string::npos, "a NUL ends the command line");
    if (params[i].find('"') != std::string::npos || EndsWithLoneLead(params[i])) requotable = false;
  }
  fuzz::Check(total <= size, "no byte is invented");
  const std::vector<std::string> after_name(params.begin() + 1, params.end());
  fuzz::Check(ParametersUntilEmpty(after_name) == after_name,
              "a list without empty parameters is kept whole");

  if (requotable) {
    std::string again;
    for (const std::string& p : params) again += "\"" + p + "\" ";
    fuzz::Check(SplitCommandLine(again) == params, "quoted parameters split back unchanged");
  }
  return 0;
}

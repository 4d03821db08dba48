// The token splitter: any text and delimiters split without fault; tokens
// are pieces of the text in order; without quotes the result is the plain
// split; empty tokens only when asked for.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "Splittok.h"
#include "support/FakePlatform.h"

using namespace extmerge;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // First byte: keep_empty and how many of the next bytes are delimiters.
  const bool keep_empty = data[0] & 1;
  const size_t ndelims = std::min<size_t>((data[0] >> 1) & 3, size - 1);
  const std::string_view delims(reinterpret_cast<const char*>(data + 1), ndelims);
  const std::string_view text(reinterpret_cast<const char*>(data + 1 + ndelims),
                              size - 1 - ndelims);
  static const test::AsciiFoldCollation collation;
  const std::unique_ptr<TStringList> tokens = SplitTokens(text, delims, keep_empty, collation);

  size_t from = 0;
  for (const std::string& t : tokens->Texts()) {
    fuzz::Check(keep_empty || !t.empty(), "no empty token unless asked for");
    const size_t at = text.find(t, from);
    fuzz::Check(at != std::string_view::npos, "tokens are pieces of the text, in order");
    from = at + t.size();
  }

  if (text.find('"') == std::string_view::npos && delims.find('"') == std::string_view::npos) {
    std::vector<std::string> plain;
    std::string current;
    bool open = false;
    for (char c : text) {
      if (delims.find(c) != std::string_view::npos) {
        if (keep_empty || open) plain.push_back(current);
        current.clear();
        open = false;
      } else {
        current += c;
        open = true;
      }
    }
    if (open) plain.push_back(current);
    fuzz::Check(tokens->Texts() == plain, "without quotes the split is the plain split");
  }
  return 0;
}

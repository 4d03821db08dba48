#include "Splittok.h"

namespace extmerge {

std::unique_ptr<TStringList> SplitTokens(std::string_view text, std::string_view delimiters,
                                         bool keep_empty, const Collation& collation) {
  auto list = std::make_unique<TStringList>(collation);
  // A quote only opens a run when a later quote closes it; an unclosed one
  // is an ordinary byte, so that a stray quote cannot swallow every
  // delimiter after it.
  const size_t last_quote = text.rfind('"');
  bool is_delimiter[256] = {};
  for (char d : delimiters) is_delimiter[static_cast<unsigned char>(d)] = true;
  size_t start = 0;  // 1-based start of the open token, 0 when none
  bool in_quote = false;
  for (size_t i = 1; i <= text.size(); ++i) {
    const char b = text[i - 1];
    if (b == '"' && (in_quote || i - 1 < last_quote)) {
      in_quote = !in_quote;
      // The quote belongs to the token, and so does any text before it.
      if (in_quote && start == 0) start = i;
    } else if (in_quote) {
      // Delimiters inside quotes do not split.
    } else if (b == '"' || !is_delimiter[static_cast<unsigned char>(b)]) {
      if (start == 0) start = i;
    } else if (keep_empty || start != 0) {
      AddToken(*list, text, start, start == 0 ? 0 : i - start);
      start = 0;
    }
  }
  if (start != 0) AddToken(*list, text, start, text.size() + 1 - start);
  return list;
}

std::unique_ptr<TStringList> SplitString(std::string_view text, std::string_view delimiters,
                                         const Collation& collation) {
  return SplitTokens(text, delimiters, false, collation);
}

void AddToken(TStringList& list, std::string_view text, size_t start, size_t length) {
  if (start == 0 || start > text.size()) {
    list.Add(std::string());
    return;
  }
  list.Add(std::string(text.substr(start - 1, length)));
}

}  // namespace extmerge

// Quote-aware splitting of delimited text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "StringList.h"

namespace extmerge {

// Splits text at any byte of `delimiters`, outside double quotes. The new
// list (unsorted, on the given collation) belongs to the caller.
std::unique_ptr<TStringList> SplitTokens(std::string_view text, std::string_view delimiters,
                                         bool keep_empty, const Collation& collation);
std::unique_ptr<TStringList> SplitString(std::string_view text, std::string_view delimiters,
                                         const Collation& collation);
// Appends `length` bytes of text from 1-based position start; an empty token
// when start is 0.
void AddToken(TStringList& list, std::string_view text, size_t start, size_t length);

}  // namespace extmerge

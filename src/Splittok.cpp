#include "Splittok.h"
// Placeholder: implemented by the template work.
namespace extmerge {
std::unique_ptr<TStringList> SplitTokens(std::string_view, std::string_view, bool,
                                         const Collation& c) {
  return std::make_unique<TStringList>(c);
}
std::unique_ptr<TStringList> SplitString(std::string_view t, std::string_view d,
                                         const Collation& c) {
  return SplitTokens(t, d, false, c);
}
void AddToken(TStringList&, std::string_view, size_t, size_t) {}
}  // namespace extmerge

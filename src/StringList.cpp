#include "StringList.h"
// Placeholder: implemented by the merge work.
namespace extmerge {
TStringList::TStringList(const Collation& collation) : collation_(&collation) {}
const std::string& TStringList::Get(int index) const { return items_.at(index); }
int TStringList::SplitAt(int index) const { return split_.at(index); }
std::string TStringList::NameOf(int) const { return {}; }
std::string TStringList::ValueOf(int) const { return {}; }
void TStringList::Add(std::string text, int split_at) {
  items_.push_back(std::move(text));
  split_.push_back(split_at);
}
void TStringList::Put(int index, std::string text, int split_at) {
  items_.at(index) = std::move(text);
  split_.at(index) = split_at;
}
void TStringList::Delete(int index) {
  items_.erase(items_.begin() + index);
  split_.erase(split_.begin() + index);
}
void TStringList::Clear() {
  items_.clear();
  split_.clear();
}
int TStringList::IndexOf(std::string_view) const { return -1; }
int TStringList::IndexOfName(std::string_view) const { return -1; }
std::string TStringList::Values(std::string_view) const { return {}; }
void TStringList::SortAndIgnoreDuplicates() { sorted_ = true; }
void TStringList::Compact(const std::vector<bool>&) {}
}  // namespace extmerge

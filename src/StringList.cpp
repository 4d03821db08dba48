#include "StringList.h"

#include <algorithm>
#include <numeric>

#include "Resources.h"

namespace extmerge {

namespace {
// Used only when no string resources can be loaded at all, so that the
// failure still says what went wrong.
constexpr std::string_view kListIndexFallback = "List index out of bounds (%d)";
}  // namespace

TStringList::TStringList(const Collation& collation) : collation_(&collation) {}

void TStringList::RaiseIndex(int index) const {
  std::string templ = LoadResourceText(IDS_LIST_INDEX);
  if (templ.empty()) templ = kListIndexFallback;
  throw EStringListError(FormatWithInt(templ, index));
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) RaiseIndex(index);
}

void TStringList::Invalidate() {
  entry_index_valid_ = false;
  name_index_valid_ = false;
  entry_index_.clear();
  name_index_.clear();
}

bool TStringList::Less(std::string_view a, std::string_view b) const {
  return collation_->Compare(a, b) < 0;
}

const std::string& TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[index];
}

int TStringList::SplitAt(int index) const {
  CheckIndex(index);
  return split_[index];
}

size_t TStringList::SeparatorOf(int index) const {
  const std::string& text = items_[index];
  int at = split_[index];
  if (at >= 0) {
    size_t pos = static_cast<size_t>(at);
    return pos < text.size() ? pos : std::string::npos;
  }
  return text.find('=');
}

std::string TStringList::NameOf(int index) const {
  CheckIndex(index);
  size_t sep = SeparatorOf(index);
  return sep == std::string::npos ? std::string() : items_[index].substr(0, sep);
}

std::string TStringList::ValueOf(int index) const {
  CheckIndex(index);
  size_t sep = SeparatorOf(index);
  return sep == std::string::npos ? std::string() : items_[index].substr(sep + 1);
}

size_t TStringList::LowerBound(std::string_view text) const {
  auto it =
      std::lower_bound(items_.begin(), items_.end(), text,
                       [this](const std::string& a, std::string_view b) { return Less(a, b); });
  return static_cast<size_t>(it - items_.begin());
}

void TStringList::Add(std::string text, int split_at) {
  if (sorted_) {
    size_t pos = LowerBound(text);
    // Nothing before pos sorts after text, and nothing equal precedes it:
    // pos is both the equal entry (if any) and the first entry sorting after.
    if (pos < items_.size() && collation_->Compare(items_[pos], text) == 0) return;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(text));
    split_.insert(split_.begin() + static_cast<std::ptrdiff_t>(pos), split_at);
  } else {
    items_.push_back(std::move(text));
    split_.push_back(split_at);
  }
  Invalidate();
}

void TStringList::AddAll(const TStringList& other) {
  if (&other == this) {
    TStringList copy = other;
    AddAll(copy);
    return;
  }
  if (!sorted_) {
    items_.insert(items_.end(), other.items_.begin(), other.items_.end());
    split_.insert(split_.end(), other.split_.begin(), other.split_.end());
    Invalidate();
    return;
  }
  // Added one by one, an entry is dropped when it equals one of this list or
  // an earlier entry of other; the survivors land at their sorted places.
  // So: keep the first of each run of equal entries of other (a stable sort
  // keeps other's order within a run), drop those this list already has,
  // and merge the two sorted sequences once.
  std::vector<int> order(other.items_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return Less(other.items_[a], other.items_[b]); });
  std::vector<int> accepted;
  accepted.reserve(order.size());
  for (int j : order) {
    const std::string& text = other.items_[j];
    if (!accepted.empty() && collation_->Compare(other.items_[accepted.back()], text) == 0)
      continue;
    size_t pos = LowerBound(text);
    if (pos < items_.size() && collation_->Compare(items_[pos], text) == 0) continue;
    accepted.push_back(j);
  }
  if (accepted.empty()) return;

  std::vector<std::string> items;
  std::vector<int> split;
  items.reserve(items_.size() + accepted.size());
  split.reserve(items_.size() + accepted.size());
  size_t i = 0;
  for (int j : accepted) {
    const std::string& text = other.items_[j];
    while (i < items_.size() && Less(items_[i], text)) {
      items.push_back(std::move(items_[i]));
      split.push_back(split_[i]);
      ++i;
    }
    items.push_back(text);
    split.push_back(other.split_[j]);
  }
  for (; i < items_.size(); ++i) {
    items.push_back(std::move(items_[i]));
    split.push_back(split_[i]);
  }
  items_ = std::move(items);
  split_ = std::move(split);
  Invalidate();
}

void TStringList::Put(int index, std::string text, int split_at) {
  CheckIndex(index);
  items_[index] = std::move(text);
  split_[index] = split_at;
  sorted_ = false;
  Invalidate();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
  split_.erase(split_.begin() + index);
  Invalidate();
}

void TStringList::Clear() {
  items_.clear();
  split_.clear();
  Invalidate();
}

void TStringList::Compact(const std::vector<bool>& keep) {
  size_t out = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i < keep.size() && !keep[i]) continue;
    if (out != i) {
      items_[out] = std::move(items_[i]);
      split_[out] = split_[i];
    }
    ++out;
  }
  if (out == items_.size()) return;
  items_.resize(out);
  split_.resize(out);
  Invalidate();
}

void TStringList::SortAndIgnoreDuplicates() {
  std::vector<int> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  // Stable, so that entries comparing equal come out in a fixed order.
  std::stable_sort(order.begin(), order.end(),
                   [this](int a, int b) { return Less(items_[a], items_[b]); });
  std::vector<std::string> items;
  std::vector<int> split;
  items.reserve(items_.size());
  split.reserve(items_.size());
  for (int i : order) {
    items.push_back(std::move(items_[i]));
    split.push_back(split_[i]);
  }
  items_ = std::move(items);
  split_ = std::move(split);
  sorted_ = true;
  Invalidate();
}

const std::vector<int>& TStringList::EntryIndex() const {
  if (!entry_index_valid_) {
    entry_index_.resize(items_.size());
    std::iota(entry_index_.begin(), entry_index_.end(), 0);
    // Stable: equal entries stay in index order, so the first equal one
    // found by a binary search is the one a linear scan would find.
    std::stable_sort(entry_index_.begin(), entry_index_.end(),
                     [this](int a, int b) { return Less(items_[a], items_[b]); });
    entry_index_valid_ = true;
  }
  return entry_index_;
}

std::string_view TStringList::NameView(const NameRef& ref) const {
  return std::string_view(items_[ref.index]).substr(0, ref.length);
}

const std::vector<TStringList::NameRef>& TStringList::NameIndex() const {
  if (!name_index_valid_) {
    name_index_.clear();
    for (size_t i = 0; i < items_.size(); ++i) {
      // Lookup by name always splits at the first "=", whatever the reader
      // chose; an entry without one has no name to match.
      size_t eq = items_[i].find('=');
      if (eq == std::string::npos) continue;
      name_index_.push_back({static_cast<int>(i), eq});
    }
    std::stable_sort(
        name_index_.begin(), name_index_.end(),
        [this](const NameRef& a, const NameRef& b) { return Less(NameView(a), NameView(b)); });
    name_index_valid_ = true;
  }
  return name_index_;
}

int TStringList::IndexOf(std::string_view text) const {
  if (sorted_) {
    size_t pos = LowerBound(text);
    if (pos < items_.size() && collation_->Compare(items_[pos], text) == 0)
      return static_cast<int>(pos);
    return -1;
  }
  const std::vector<int>& index = EntryIndex();
  auto it = std::lower_bound(index.begin(), index.end(), text,
                             [this](int a, std::string_view b) { return Less(items_[a], b); });
  if (it != index.end() && collation_->Compare(items_[*it], text) == 0) return *it;
  return -1;
}

int TStringList::IndexOfName(std::string_view name) const {
  const std::vector<NameRef>& index = NameIndex();
  auto it = std::lower_bound(
      index.begin(), index.end(), name,
      [this](const NameRef& a, std::string_view b) { return Less(NameView(a), b); });
  if (it != index.end() && collation_->Compare(NameView(*it), name) == 0) return it->index;
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  if (i < 0) return std::string();
  const std::string& text = items_[i];
  size_t from = name.size() + 1;
  return from < text.size() ? text.substr(from) : std::string();
}

}  // namespace extmerge

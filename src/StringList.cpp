#include "StringList.h"

#include <algorithm>
#include <functional>
#include <numeric>

#include "Resources.h"

namespace extmerge {

namespace {
// Used only when no string resources can be loaded at all, so that the
// failure still says what went wrong.
constexpr std::string_view kListIndexFallback = "List index out of bounds (%d)";

size_t HashKey(std::string_view key) { return std::hash<std::string_view>()(key); }

// Open addressing with linear probing, at most half full. Entries are
// inserted in ascending index order and an equal key already present wins,
// so each key maps to its lowest index.
template <typename Slot, typename KeyOf>
void BuildTable(std::vector<Slot>& table, const std::vector<int>& indices, KeyOf key_of) {
  size_t size = 8;
  while (size < indices.size() * 2) size *= 2;
  table.assign(size, Slot{0, -1});
  const size_t mask = size - 1;
  for (int index : indices) {
    const std::string& key = key_of(index);
    size_t hash = HashKey(key);
    size_t at = hash & mask;
    bool present = false;
    while (table[at].index >= 0) {
      if (table[at].hash == hash && key_of(table[at].index) == key) {
        present = true;
        break;
      }
      at = (at + 1) & mask;
    }
    if (!present) table[at] = Slot{hash, index};
  }
}

template <typename Slot, typename KeyOf>
int FindInTable(const std::vector<Slot>& table, std::string_view key, KeyOf key_of) {
  if (table.empty()) return -1;
  const size_t mask = table.size() - 1;
  size_t hash = HashKey(key);
  for (size_t at = hash & mask; table[at].index >= 0; at = (at + 1) & mask) {
    if (table[at].hash == hash && key_of(table[at].index) == key) return table[at].index;
  }
  return -1;
}

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
  entry_table_valid_ = false;
  name_table_valid_ = false;
  entry_table_.clear();
  name_table_.clear();
}

const std::string& TStringList::KeyAt(size_t index) const {
  Meta& m = meta_[index];
  if (!m.has_key) {
    m.key = collation_->Key(items_[index]);
    m.has_key = true;
  }
  return m.key;
}

const std::string& TStringList::NameKeyAt(size_t index) const {
  Meta& m = meta_[index];
  if (!m.has_name_key) {
    // Lookup by name always splits at the first "=", whatever the reader
    // chose.
    const std::string& text = items_[index];
    m.name_key = collation_->Key(std::string_view(text).substr(0, text.find('=')));
    m.has_name_key = true;
  }
  return m.name_key;
}

const std::string& TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[index];
}

int TStringList::SplitAt(int index) const {
  CheckIndex(index);
  return meta_[index].split;
}

size_t TStringList::SeparatorOf(int index) const {
  const std::string& text = items_[index];
  int at = meta_[index].split;
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

size_t TStringList::LowerBound(std::string_view key) const {
  size_t lo = 0, hi = items_.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (collation_->CompareKeys(KeyAt(mid), key) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

void TStringList::Add(std::string text, int split_at) {
  Insert(std::move(text), Meta::Fresh(split_at));
}

void TStringList::AddFrom(const TStringList& other, int index) {
  other.CheckIndex(index);
  Meta meta = other.meta_[static_cast<size_t>(index)];
  if (other.collation_ != collation_) meta = Meta::Fresh(meta.split);
  Insert(other.items_[static_cast<size_t>(index)], std::move(meta));
}

void TStringList::Insert(std::string text, Meta meta) {
  if (sorted_) {
    if (!meta.has_key) {
      meta.key = collation_->Key(text);
      meta.has_key = true;
    }
    size_t pos = LowerBound(meta.key);
    // Nothing before pos sorts after text, and nothing equal precedes it:
    // pos is both the equal entry (if any) and the first entry sorting after.
    if (pos < items_.size() && KeyAt(pos) == meta.key) return;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(text));
    meta_.insert(meta_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(meta));
  } else {
    items_.push_back(std::move(text));
    meta_.push_back(std::move(meta));
  }
  Invalidate();
}

std::vector<int> TStringList::SortedOrder() const {
  const size_t n = items_.size();
  std::vector<int> order(n);
  bool ascending = true, descending = true;
  for (size_t i = 1; i < n && (ascending || descending); ++i) {
    int c = collation_->CompareKeys(KeyAt(i - 1), KeyAt(i));
    if (c > 0) ascending = false;
    if (c < 0) descending = false;
  }
  if (ascending) {
    std::iota(order.begin(), order.end(), 0);
  } else if (descending) {
    // Runs of equal entries come last first, each in its own order, as a
    // stable sort leaves them.
    size_t out = 0;
    for (size_t end = n; end > 0;) {
      size_t start = end - 1;
      while (start > 0 && KeyAt(start - 1) == KeyAt(start)) --start;
      for (size_t i = start; i < end; ++i) order[out++] = static_cast<int>(i);
      end = start;
    }
  } else {
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
      return collation_->CompareKeys(KeyAt(static_cast<size_t>(a)), KeyAt(static_cast<size_t>(b))) <
             0;
    });
  }
  return order;
}

void TStringList::AddAll(const TStringList& other) {
  if (&other == this) {
    TStringList copy = other;
    AddAll(copy);
    return;
  }
  if (other.collation_ != collation_) {
    // Keys of another comparison mean nothing here.
    TStringList copy(*collation_);
    copy.items_ = other.items_;
    for (const Meta& m : other.meta_) copy.meta_.push_back(Meta::Fresh(m.split));
    AddAll(std::move(copy));
    return;
  }
  if (!sorted_) {
    items_.insert(items_.end(), other.items_.begin(), other.items_.end());
    meta_.insert(meta_.end(), other.meta_.begin(), other.meta_.end());
    Invalidate();
    return;
  }
  // Added one by one, an entry is dropped when it equals one of this list or
  // an earlier entry of other; the survivors land at their sorted places.
  // So: keep the first of each run of equal entries of other (a stable sort
  // keeps other's order within a run), drop those this list already has,
  // and merge the two sorted sequences once.
  std::vector<int> order = other.SortedOrder();
  // accepted[k] goes in before this list's entry at[k].
  std::vector<int> accepted;
  std::vector<size_t> at;
  accepted.reserve(order.size());
  at.reserve(order.size());
  size_t i = 0;
  const std::string* previous = nullptr;
  for (int j : order) {
    const std::string& key = other.KeyAt(static_cast<size_t>(j));
    if (previous != nullptr && *previous == key) continue;
    previous = &key;
    while (i < items_.size() && collation_->CompareKeys(KeyAt(i), key) < 0) ++i;
    // i is the first entry not less than the new one: equal, or after it.
    if (i < items_.size() && KeyAt(i) == key) continue;
    accepted.push_back(j);
    at.push_back(i);
  }
  if (accepted.empty()) return;

  std::vector<std::string> items;
  std::vector<Meta> meta;
  items.reserve(items_.size() + accepted.size());
  meta.reserve(items_.size() + accepted.size());
  i = 0;
  for (size_t k = 0; k < accepted.size(); ++k) {
    for (; i < at[k]; ++i) {
      items.push_back(std::move(items_[i]));
      meta.push_back(std::move(meta_[i]));
    }
    items.push_back(other.items_[static_cast<size_t>(accepted[k])]);
    meta.push_back(other.meta_[static_cast<size_t>(accepted[k])]);
  }
  for (; i < items_.size(); ++i) {
    items.push_back(std::move(items_[i]));
    meta.push_back(std::move(meta_[i]));
  }
  items_ = std::move(items);
  meta_ = std::move(meta);
  Invalidate();
}

void TStringList::AddAll(TStringList&& other) {
  if (sorted_ || &other == this || !items_.empty() || other.collation_ != collation_) {
    AddAll(static_cast<const TStringList&>(other));
    return;
  }
  items_ = std::move(other.items_);
  meta_ = std::move(other.meta_);
  other.Clear();
  Invalidate();
}

void TStringList::Put(int index, std::string text, int split_at) {
  CheckIndex(index);
  items_[index] = std::move(text);
  meta_[index] = Meta::Fresh(split_at);
  sorted_ = false;
  Invalidate();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
  meta_.erase(meta_.begin() + index);
  Invalidate();
}

void TStringList::Clear() {
  items_.clear();
  meta_.clear();
  Invalidate();
}

void TStringList::Compact(const std::vector<bool>& keep) {
  size_t out = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i < keep.size() && !keep[i]) continue;
    if (out != i) {
      items_[out] = std::move(items_[i]);
      meta_[out] = std::move(meta_[i]);
    }
    ++out;
  }
  if (out == items_.size()) return;
  items_.resize(out);
  meta_.resize(out);
  Invalidate();
}

void TStringList::SortAndIgnoreDuplicates() {
  // Stable, so that entries comparing equal come out in a fixed order.
  std::vector<int> order = SortedOrder();
  std::vector<std::string> items;
  std::vector<Meta> meta;
  items.reserve(items_.size());
  meta.reserve(items_.size());
  for (int i : order) {
    items.push_back(std::move(items_[i]));
    meta.push_back(std::move(meta_[i]));
  }
  items_ = std::move(items);
  meta_ = std::move(meta);
  sorted_ = true;
  Invalidate();
}

const std::vector<TStringList::KeySlot>& TStringList::EntryTable() const {
  if (!entry_table_valid_) {
    std::vector<int> all(items_.size());
    std::iota(all.begin(), all.end(), 0);
    BuildTable(entry_table_, all,
               [this](int i) -> const std::string& { return KeyAt(static_cast<size_t>(i)); });
    entry_table_valid_ = true;
  }
  return entry_table_;
}

const std::vector<TStringList::KeySlot>& TStringList::NameTable() const {
  if (!name_table_valid_) {
    // An entry without "=" has no name to match.
    std::vector<int> named;
    named.reserve(items_.size());
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].find('=') != std::string::npos) named.push_back(static_cast<int>(i));
    BuildTable(name_table_, named,
               [this](int i) -> const std::string& { return NameKeyAt(static_cast<size_t>(i)); });
    name_table_valid_ = true;
  }
  return name_table_;
}

int TStringList::IndexOf(std::string_view text) const {
  const std::string key = collation_->Key(text);
  if (sorted_) {
    size_t pos = LowerBound(key);
    if (pos < items_.size() && KeyAt(pos) == key) return static_cast<int>(pos);
    return -1;
  }
  return FindInTable(EntryTable(), key,
                     [this](int i) -> const std::string& { return KeyAt(static_cast<size_t>(i)); });
}

int TStringList::IndexOfName(std::string_view name) const {
  return FindInTable(NameTable(), collation_->Key(name), [this](int i) -> const std::string& {
    return NameKeyAt(static_cast<size_t>(i));
  });
}

std::string TStringList::ValueFrom(int index, size_t name_length) const {
  if (index < 0) return std::string();
  const std::string& text = items_[index];
  size_t from = name_length + 1;
  return from < text.size() ? text.substr(from) : std::string();
}

std::string TStringList::Values(std::string_view name) const {
  return ValueFrom(IndexOfName(name), name.size());
}

std::string TStringList::ValuesOfNameAt(int index) const {
  CheckIndex(index);
  size_t eq = items_[index].find('=');
  if (eq == std::string::npos) return Values(std::string_view());
  int found = FindInTable(
      NameTable(), NameKeyAt(static_cast<size_t>(index)),
      [this](int i) -> const std::string& { return NameKeyAt(static_cast<size_t>(i)); });
  return ValueFrom(found, eq);
}

}  // namespace extmerge

// The entry list: an ordered list of strings, normally name "=" value.
//
// Every comparison (whole-entry lookup, name lookup, sorting, sorted
// insertion) is the user-locale comparison of the Collation given at
// construction, made on the collation's keys: each entry's key is computed
// once, sorting compares keys, and lookups on an unsorted list go through
// hash tables of the keys built lazily, so a lookup costs O(1) instead of a
// linear scan, with exactly the linear scan's answer (the lowest index among
// equal entries).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Sysutil.h"
#include "platform/Platform.h"

namespace extmerge {

class TStringList {
 public:
  explicit TStringList(const Collation& collation);

  const Collation& Collator() const { return *collation_; }
  int Count() const { return static_cast<int>(items_.size()); }

  // Raises EStringListError ("list index out of range (%d)") outside 0..Count-1.
  const std::string& Get(int index) const;
  // Where the reader split this entry into name and value: the byte offset
  // of the separating "=", or -1 for "at the first =".
  int SplitAt(int index) const;
  // Name part: text before the separating "=" (empty when there is none).
  std::string NameOf(int index) const;
  // Value part: text after the separating "=" (empty when there is none).
  std::string ValueOf(int index) const;

  // Appends, or inserts in sorted order when the list is sorted (and then
  // ignores an entry equal to one already present).
  void Add(std::string text, int split_at = -1);
  // Add(other.Get(index), other.SplitAt(index)), keeping the keys other has
  // already computed for the entry.
  void AddFrom(const TStringList& other, int index);
  // Adds every entry of `other` (with its split position), in other's order,
  // with exactly the result of calling Add for each one in turn. On a sorted
  // list this costs O((n + m) log) rather than one vector insertion per
  // entry.
  void AddAll(const TStringList& other);
  // The same, taking other's entries over where they need no copy.
  void AddAll(TStringList&& other);
  // Replaces the entry at index (EStringListError outside the list). The
  // list is no longer treated as sorted afterwards.
  void Put(int index, std::string text, int split_at = -1);
  // Raises EStringListError outside 0..Count-1; later entries move down.
  void Delete(int index);
  void Clear();

  // First (lowest-index) entry equal to the whole text, or -1.
  int IndexOf(std::string_view text) const;
  // First entry whose name (text before its first "=") equals name, or -1.
  // An entry without "=" never matches.
  int IndexOfName(std::string_view name) const;
  // The found entry's text from byte position len(name)+2 on (1-based), or
  // the empty text when there is no such entry.
  std::string Values(std::string_view name) const;
  // Values of the name of the entry at index (its text before the first
  // "=", or the empty name when it has none), found by the key it already
  // has.
  std::string ValuesOfNameAt(int index) const;

  // Sorts ascending (stable: entries that compare equal keep their relative
  // order), then keeps the list sorted with duplicates ignored.
  void SortAndIgnoreDuplicates();
  bool Sorted() const { return sorted_; }

  // Removes every entry for which keep[i] is false, in one pass; the others
  // keep their order. Entries beyond the end of keep are kept.
  void Compact(const std::vector<bool>& keep);

  const std::vector<std::string>& Texts() const { return items_; }

 private:
  // What travels with each entry besides its text. The keys are computed on
  // first use and reset whenever the entry's text changes.
  struct Meta {
    int split = -1;
    bool has_key = false;
    bool has_name_key = false;
    std::string key;       // of the whole text
    std::string name_key;  // of the text before the first "="
    static Meta Fresh(int split_at) {
      Meta m;
      m.split = split_at;
      return m;
    }
  };
  // A hash table of entry indices by key: the lowest index of each key.
  struct KeySlot {
    size_t hash;
    int index;  // -1: empty
  };

  void Invalidate();
  void Insert(std::string text, Meta meta);
  [[noreturn]] void RaiseIndex(int index) const;
  void CheckIndex(int index) const;
  size_t SeparatorOf(int index) const;
  const std::string& KeyAt(size_t index) const;
  const std::string& NameKeyAt(size_t index) const;
  // Sorted lists: the position of the first entry whose key is not less
  // than key.
  size_t LowerBound(std::string_view key) const;
  // Entry indices in stable sorted order of the keys (an already ascending
  // or descending list is recognised in one pass).
  std::vector<int> SortedOrder() const;
  const std::vector<KeySlot>& EntryTable() const;
  const std::vector<KeySlot>& NameTable() const;
  // The value of Values for a name of name_length bytes found at index.
  std::string ValueFrom(int index, size_t name_length) const;

  const Collation* collation_;
  std::vector<std::string> items_;
  mutable std::vector<Meta> meta_;
  bool sorted_ = false;
  mutable bool entry_table_valid_ = false;
  mutable bool name_table_valid_ = false;
  // Every entry by its key.
  mutable std::vector<KeySlot> entry_table_;
  // The entries that have a "=", by the key of their name.
  mutable std::vector<KeySlot> name_table_;
};

}  // namespace extmerge

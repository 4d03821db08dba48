// The entry list: an ordered list of strings, normally name "=" value.
//
// Every comparison (whole-entry lookup, name lookup, sorting, sorted
// insertion) is the user-locale comparison of the Collation given at
// construction. Lookups are served from sorted indexes built lazily with that
// same comparison, so a lookup costs O(log n) instead of a linear scan, with
// exactly the linear scan's answer (the lowest index among equal entries).
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
  // Adds every entry of `other` (with its split position), in other's order,
  // with exactly the result of calling Add for each one in turn. On a sorted
  // list this costs O((n + m) log) rather than one vector insertion per
  // entry.
  void AddAll(const TStringList& other);
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

  // Sorts ascending (stable: entries that compare equal keep their relative
  // order), then keeps the list sorted with duplicates ignored.
  void SortAndIgnoreDuplicates();
  bool Sorted() const { return sorted_; }

  // Removes every entry for which keep[i] is false, in one pass; the others
  // keep their order. Entries beyond the end of keep are kept.
  void Compact(const std::vector<bool>& keep);

  const std::vector<std::string>& Texts() const { return items_; }

 private:
  void Invalidate();
  [[noreturn]] void RaiseIndex(int index) const;
  void CheckIndex(int index) const;
  size_t SeparatorOf(int index) const;
  bool Less(std::string_view a, std::string_view b) const;
  // Sorted lists: the position of the first entry not less than text.
  size_t LowerBound(std::string_view text) const;
  const std::vector<int>& EntryIndex() const;
  struct NameRef {
    int index;
    size_t length;  // of the name: the position of the entry's first "="
  };
  std::string_view NameView(const NameRef& ref) const;
  const std::vector<NameRef>& NameIndex() const;

  const Collation* collation_;
  std::vector<std::string> items_;
  std::vector<int> split_;
  bool sorted_ = false;
  mutable bool entry_index_valid_ = false;
  mutable bool name_index_valid_ = false;
  // Entry indices ordered by (collation of the text, index).
  mutable std::vector<int> entry_index_;
  // The entries that have a "=", ordered by (collation of the name, index).
  mutable std::vector<NameRef> name_index_;
};

}  // namespace extmerge

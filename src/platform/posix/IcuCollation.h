// The user-locale comparison of the posix layer, on ICU.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/Platform.h"

struct UCollator;

namespace extmerge::posix {

// Compares code page 932 texts: both are decoded (bytes without a character
// become distinct private-use code points), case folded, and compared with
// ICU's collator for `locale` at tertiary strength, so that kana type and
// width stay significant. Texts the collator finds equal are ordered by their
// folded UTF-16 units, so only texts equal ignoring case compare equal.
class IcuCollation : public Collation {
 public:
  // `ascii_shortcut` off forces the general path for every text (tests use
  // it to check the shortcut against it).
  explicit IcuCollation(const std::string& locale, bool ascii_shortcut = true);
  ~IcuCollation() override;
  IcuCollation(const IcuCollation&) = delete;
  IcuCollation& operator=(const IcuCollation&) = delete;

  int Compare(std::string_view a, std::string_view b) const override;
  std::string Key(std::string_view text) const override;
  int CompareKeys(std::string_view ka, std::string_view kb) const override;
  // Does plain ASCII text take the shortcut (the collator allowed it)?
  bool HasAsciiShortcut() const { return ascii_rank_[static_cast<unsigned char>('a')] != 0; }

 private:
  int CompareGeneral(std::string_view a, std::string_view b) const;
  int CompareFolded(const std::u16string& a, const std::u16string& b) const;
  void BuildAsciiRanks();

  UCollator* collator_ = nullptr;
  // Collation rank + 1 of each folded ASCII byte, 0 where the shortcut does
  // not apply. Filled from the collator itself.
  unsigned char ascii_rank_[128] = {};
};

// The ICU locale of the user's collation settings: LC_ALL, LC_COLLATE, then
// LANG; Japanese when none is set or it is the C/POSIX locale.
std::string UserCollationLocale();

}  // namespace extmerge::posix

#include "platform/posix/IcuCollation.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/PosixText.h"

namespace extmerge::posix {

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

void FoldInto(const std::u16string& text, std::u16string& out) {
  // Full case folding grows a text at most threefold.
  out.resize(text.size() * 3 + 1);
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                            reinterpret_cast<const UChar*>(text.data()),
                            static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &err);
  if (err == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<size_t>(n));
    err = U_ZERO_ERROR;
    n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), n,
                      reinterpret_cast<const UChar*>(text.data()),
                      static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &err);
  }
  if (U_FAILURE(err)) {
    out = text;
    return;
  }
  out.resize(static_cast<size_t>(n));
}

// The full case folding of every BMP code unit that folds to exactly one
// unit; kFoldNotSingle where it folds to more (or is a surrogate, whose
// character only a whole text can tell). Folding goes character by
// character, so a text folds unit by unit through this table unless one of
// its units is marked.
constexpr char16_t kFoldNotSingle = 0xFFFF;

struct FoldTable {
  std::vector<char16_t> single;

  FoldTable() : single(0x10000) {
    for (UChar32 c = 0; c < 0x10000; ++c) {
      char16_t& out = single[static_cast<size_t>(c)];
      if (U_IS_SURROGATE(c) || c == kFoldNotSingle) {
        out = kFoldNotSingle;
      } else if (!u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_CASEFOLDED)) {
        out = static_cast<char16_t>(c);
      } else {
        UChar in = static_cast<UChar>(c);
        UChar folded[4];
        UErrorCode err = U_ZERO_ERROR;
        int32_t n = u_strFoldCase(folded, 4, &in, 1, U_FOLD_CASE_DEFAULT, &err);
        out = U_SUCCESS(err) && n == 1 ? static_cast<char16_t>(folded[0]) : kFoldNotSingle;
      }
    }
  }
};

const FoldTable& Folds() {
  static const FoldTable table;
  return table;
}

}  // namespace

IcuCollation::IcuCollation(const std::string& locale, bool ascii_shortcut) {
  UErrorCode err = U_ZERO_ERROR;
  collator_ = ucol_open(locale.c_str(), &err);
  if (U_FAILURE(err)) {
    // Without a collator the folded texts are still totally ordered by their
    // units (CompareGeneral's tie-break).
    collator_ = nullptr;
    return;
  }
  ucol_setStrength(collator_, UCOL_TERTIARY);
  if (ascii_shortcut) BuildAsciiRanks();
}

IcuCollation::~IcuCollation() {
  if (collator_ != nullptr) ucol_close(collator_);
}

// Texts of printable ASCII only are the common case. When the collator gives
// each (folded) printable ASCII character a primary weight of its own, such
// texts compare like their rank sequences, lexicographically, which is the
// same answer the general path gives at a fraction of the cost. The
// collator's own answers on single characters decide the ranks and whether
// the shortcut is sound; otherwise it stays off.
void IcuCollation::BuildAsciiRanks() {
  UErrorCode err = U_ZERO_ERROR;
  UCollator* primary = ucol_clone(collator_, &err);
  if (U_FAILURE(err) || primary == nullptr) return;
  ucol_setStrength(primary, UCOL_PRIMARY);

  std::vector<UChar> chars;  // folded printable ASCII, in collation order
  for (UChar c = 0x20; c < 0x7F; ++c) {
    if (c >= 'A' && c <= 'Z') continue;
    chars.push_back(c);
  }
  bool sound = true;
  for (UChar c : chars) {
    UChar empty = 0;
    // A character must weigh something at the primary level.
    if (ucol_strcoll(primary, &c, 1, &empty, 0) != UCOL_GREATER) sound = false;
  }
  for (size_t i = 1; i < chars.size() && sound; ++i) {
    // Insertion sort by the collator; equal primaries make it unsound.
    for (size_t j = i; j > 0; --j) {
      UCollationResult r = ucol_strcoll(primary, &chars[j - 1], 1, &chars[j], 1);
      if (r == UCOL_EQUAL) sound = false;
      if (r != UCOL_GREATER) break;
      std::swap(chars[j - 1], chars[j]);
    }
  }
  ucol_close(primary);
  if (!sound) return;
  for (size_t i = 0; i < chars.size(); ++i) {
    unsigned char rank = static_cast<unsigned char>(i + 1);
    ascii_rank_[chars[i]] = rank;
    if (chars[i] >= 'a' && chars[i] <= 'z') ascii_rank_[chars[i] - 32] = rank;
  }
}

int IcuCollation::Compare(std::string_view a, std::string_view b) const {
  // The shortcut needs both texts to be printable ASCII throughout: a
  // character further on could otherwise change how an earlier one weighs.
  bool shortcut = true;
  for (char c : a) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || ascii_rank_[u] == 0) {
      shortcut = false;
      break;
    }
  }
  if (shortcut) {
    for (char c : b) {
      unsigned char u = static_cast<unsigned char>(c);
      if (u >= 0x80 || ascii_rank_[u] == 0) {
        shortcut = false;
        break;
      }
    }
  }
  if (!shortcut) return CompareGeneral(a, b);
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = ascii_rank_[static_cast<unsigned char>(a[i])];
    unsigned char y = ascii_rank_[static_cast<unsigned char>(b[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int IcuCollation::CompareGeneral(std::string_view a, std::string_view b) const {
  // Scratch space kept between calls: comparing is the tool's hottest path.
  thread_local std::u16string decoded_a, decoded_b, folded_a, folded_b;
  DecodeCp932Distinct(a, decoded_a);
  DecodeCp932Distinct(b, decoded_b);
  FoldInto(decoded_a, folded_a);
  FoldInto(decoded_b, folded_b);
  return CompareFolded(folded_a, folded_b);
}

int IcuCollation::CompareFolded(const std::u16string& a, const std::u16string& b) const {
  if (collator_ != nullptr) {
    UCollationResult r = ucol_strcoll(
        collator_, reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
        reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()));
    if (r != UCOL_EQUAL) return r == UCOL_LESS ? -1 : 1;
  }
  return Sign(a.compare(b));
}

// The key is the decoded, case-folded text (its UTF-16 units as bytes):
// two texts compare equal exactly when their folded texts are the same, in
// the general path (the tie-break) as in the ASCII shortcut (whose ranks
// tell apart exactly the folded characters).
std::string IcuCollation::Key(std::string_view text) const {
  thread_local std::u16string decoded, folded;
  DecodeCp932Distinct(text, decoded);
  const std::vector<char16_t>& table = Folds().single;
  folded.resize(decoded.size());
  bool whole = false;
  for (size_t i = 0; i < decoded.size(); ++i) {
    char16_t f = table[decoded[i]];
    if (f == kFoldNotSingle) {
      whole = true;
      break;
    }
    folded[i] = f;
  }
  if (whole) FoldInto(decoded, folded);
  std::string key(folded.size() * sizeof(char16_t), '\0');
  if (!key.empty()) std::memcpy(key.data(), folded.data(), key.size());
  return key;
}

int IcuCollation::CompareKeys(std::string_view ka, std::string_view kb) const {
  auto unit = [](std::string_view key, size_t i) {
    char16_t u;
    std::memcpy(&u, key.data() + i * sizeof(char16_t), sizeof(char16_t));
    return u;
  };
  const size_t na = ka.size() / sizeof(char16_t);
  const size_t nb = kb.size() / sizeof(char16_t);
  // The ASCII shortcut on folded units: the ranks were taken from the
  // collator on exactly these code points.
  auto ranked = [&](std::string_view key, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      char16_t u = unit(key, i);
      if (u >= 0x80 || ascii_rank_[u] == 0) return false;
    }
    return true;
  };
  if (ranked(ka, na) && ranked(kb, nb)) {
    size_t n = std::min(na, nb);
    for (size_t i = 0; i < n; ++i) {
      unsigned char x = ascii_rank_[unit(ka, i)];
      unsigned char y = ascii_rank_[unit(kb, i)];
      if (x != y) return x < y ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
  }
  thread_local std::u16string folded_a, folded_b;
  folded_a.resize(na);
  folded_b.resize(nb);
  if (na != 0) std::memcpy(folded_a.data(), ka.data(), na * sizeof(char16_t));
  if (nb != 0) std::memcpy(folded_b.data(), kb.data(), nb * sizeof(char16_t));
  return CompareFolded(folded_a, folded_b);
}

std::string UserCollationLocale() {
  const char* value = nullptr;
  for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') {
      value = v;
      break;
    }
  }
  if (value == nullptr) return "ja";
  std::string locale(value);
  // "ja_JP.UTF-8@mod" -> "ja_JP"
  size_t cut = locale.find_first_of(".@");
  if (cut != std::string::npos) locale.resize(cut);
  if (locale.empty() || locale == "C" || locale == "POSIX") return "ja";
  return locale;
}

}  // namespace extmerge::posix

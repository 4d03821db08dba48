// One catalogue file held in memory: parsed once, edited in place, turned
// back into bytes in one pass.
//
// The text is kept as the file's own lines; an edit replaces, hides or adds
// single lines and leaves every other byte as it was. Lookups go through
// indexes (sections by folded name, keys of a section by folded name), so
// every read, write and delete costs O(1) amortised plus the length of the
// names and the value, however large the file.
//
// How the text is read (the rules of the profile functions for catalogue
// files, with the choices they leave open):
// - Lines end at LF; a CR right before the LF belongs to the line ending. A
//   CR anywhere else is content: files of this kind come with CRLF or LF,
//   and a stray CR must not split an entry in two. Like spaces and tabs it
//   is ignored around names and values, so it never reaches a value.
// - A UTF-8 byte-order mark at the very start is passed over when the first
//   line is read (so a header right after it is still a header) and kept in
//   the bytes. The text itself is never converted.
// - "[" name "]" (white space around both ignored, anything after "]"
//   ignored) starts a section. "[" without a closing "]" is an ordinary line.
//   Lines before the first header belong to no section and cannot be
//   addressed.
// - A line whose first non-blank character is ";" is a comment. A line with
//   "=" is an entry: the key is the text before the first "=", the value
//   everything after it, both without surrounding white space; a value
//   enclosed in a matching pair of quotes (both " or both ') reads without
//   them. An entry with an empty key ("=value") is kept but takes no part.
//   Other lines (no "=") are no entries either. All such lines are kept.
// - Section and key names match without regard to case (see IniNameFold).
//   The first copy of a repeated section is the one read and written; a
//   repeated key is read, replaced and deleted at its first line, and listed
//   once per line.
// - A double-byte character is a lead byte followed by a byte that can
//   trail it; a lead byte before anything else (a line break, "=", a space,
//   the end of the line) stands alone, so a broken character never swallows
//   the byte after it. Bytes are kept whatever they are (NUL included).
//
// How edits are made:
// - A replaced value keeps its line's key spelling and the spacing before
//   "=", and the spacing after "=" when the new value is not empty (an empty
//   value leaves "key=" with nothing after it). Values are written as given
//   without surrounding white space; no quotes are added.
// - A new key goes after the last non-blank line of its section (comments
//   at the section's end stay above it), so the blank lines that separate
//   it from the next section stay where they are. A new section goes at
//   the end of the file.
// - New lines take the file's line ending (the first one in the file, CRLF
//   when there is none). A last line without a line ending gets one when
//   something comes after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Sysutil.h"

namespace extmerge {

// Case folding of section and key names, byte by byte as the profile
// functions compare them: ASCII letters, and under code page 932 the
// full-width Latin, Greek and Cyrillic letters, fold to capitals. The
// second byte of a double-byte character is never folded on its own (its
// value may be an ASCII letter). This is the INI layer's own matching, not
// the locale comparison of entry lists.
class IniNameFold {
 public:
  explicit IniNameFold(const CodePageInfo& code_page);
  std::string operator()(std::string_view name) const;

 private:
  CodePageInfo cp_;
  bool cp932_;
};

// Can b be the second byte of a double-byte character?
inline bool IsIniTrailByte(unsigned char b) { return b >= 0x40 && b != 0x7F && b != 0xFF; }

class IniDocument {
 public:
  // Parses the file's bytes (empty for a missing file).
  explicit IniDocument(std::string bytes, const CodePageInfo& code_page = AnsiCodePage());
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // Section names in file order; a repeated section is listed again, a
  // section with an empty name not at all.
  std::vector<std::string> SectionNames() const;
  // Key names of the section in file order, repeats listed again.
  std::vector<std::string> KeyNames(std::string_view section) const;
  // For each key line of the section in file order: its name and the value
  // a lookup of that name gives (the first line's, for a repeated key).
  std::vector<std::pair<std::string, std::string>> KeyValues(std::string_view section) const;
  // The key's value; nullopt when the section or the key is absent.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  // Sets the value (see above); returns whether the text changed.
  bool Write(std::string_view section, std::string_view key, std::string_view value);
  // Removes the key's first line; returns whether there was one.
  bool Remove(std::string_view section, std::string_view key);

  // The whole text, in one pass.
  std::string Bytes() const;
  // Changed since it was read or last saved (the bytes may still be equal).
  bool Modified() const { return modified_; }
  // The bytes on disk: as read, or as last saved.
  std::string_view SavedBytes() const { return saved_ ? std::string_view(*saved_) : original_; }
  void MarkSaved(std::string bytes);
  // The text came out as it is on disk: nothing to save.
  void MarkUnchanged() { modified_ = false; }

  // Whether the file may be written, asked once at the first change.
  std::optional<bool> writable;

  // How many line records the document holds (live lines, plus removed ones
  // not yet handed back for reuse).
  size_t LineRecords() const { return lines_.size(); }

 private:
  enum class Kind : uint8_t { kBlank, kComment, kHeader, kEntry, kOther };
  enum class Eol : uint8_t { kNone = 0, kLf = 1, kCrLf = 2 };
  struct Line {
    size_t off = 0;  // into original_, or into owned_[own]
    size_t len = 0;
    int64_t own = -1;
    Eol eol = Eol::kNone;
    Kind kind = Kind::kOther;
    bool removed = false;
  };
  // Lines of one key, in file order; those before head are removed. Lines
  // only ever go from the front (a delete takes the first) or are added at
  // the back (a write of a key that has none left).
  struct KeyLines {
    std::vector<size_t> lines;
    size_t head = 0;
  };
  struct Section {
    std::string name;           // as spelled in the header
    size_t first = 0;           // header line (or the first line of the preamble)
    size_t end = 0;             // one past the section's last line read from the file
    size_t insert_after = 0;    // new keys follow this line
    std::vector<size_t> added;  // keys added to the section, in order
    size_t added_removed = 0;   // how many of them have been removed since
    std::unordered_map<std::string, KeyLines> keys;  // folded name -> lines
    bool addressable = false;                        // the first copy of a named section
  };

  std::string_view Text(const Line& line) const;
  std::string_view Text(size_t index) const { return Text(lines_[index]); }
  void SetText(size_t index, std::string text);
  size_t AddLine(std::string text, Kind kind);
  void IndexKeys(Section& section);
  // Calls fn(index) for each line of the section in output order.
  template <typename Fn>
  void ForEachLine(const Section& section, Fn fn) const;
  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);
  static std::optional<size_t> FirstLine(const Section& section, const std::string& folded_key);

  CodePageInfo cp_;
  IniNameFold fold_;
  std::string original_;
  std::optional<std::string> saved_;
  std::vector<std::string> owned_;
  std::vector<Line> lines_;
  size_t parsed_lines_ = 0;         // lines_[0, parsed_lines_) are the file's own lines
  std::vector<size_t> free_lines_;  // added lines removed and referenced nowhere: reused
  std::vector<Section> sections_;   // sections_[0] is the preamble
  std::unordered_map<std::string, size_t> section_index_;  // folded name -> first copy
  bool bom_ = false;
  Eol new_eol_ = Eol::kCrLf;
  bool modified_ = false;
};

// Helpers of the line grammar, exposed for the tests.
namespace ini {
// Without spaces, tabs and CRs on both sides.
std::string_view Trim(std::string_view text);
// The section name when the line is a header.
std::optional<std::string_view> HeaderName(std::string_view line, const CodePageInfo& cp);
// A value as read: trimmed, one enclosing pair of matching quotes dropped.
std::string_view ValueOf(std::string_view raw_after_equals);
}  // namespace ini

}  // namespace extmerge

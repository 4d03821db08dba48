#include "catalogue/IniDocument.h"

namespace extmerge {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r";

std::string_view EolText(uint8_t eol) {
  switch (eol) {
    case 1:
      return "\n";
    case 2:
      return "\r\n";
    default:
      return "";
  }
}

// Length of the character at s[i] under the INI grammar: a lead byte pairs
// only with a byte that can trail it.
size_t CharLen(std::string_view s, size_t i, const CodePageInfo& cp) {
  if (cp.IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
      IsIniTrailByte(static_cast<unsigned char>(s[i + 1])))
    return 2;
  return 1;
}

// The key of an entry line ("=" is below every trail byte, so a byte search
// finds the same "=" a character walk would).
std::string_view KeyOf(std::string_view line) { return ini::Trim(line.substr(0, line.find('='))); }
}  // namespace

namespace ini {

std::string_view Trim(std::string_view text) {
  // Space, tab and CR are below every trail byte: trimming bytes from the
  // right never cuts a double-byte character.
  size_t b = text.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(kBlanks);
  return text.substr(b, e - b + 1);
}

std::optional<std::string_view> HeaderName(std::string_view line, const CodePageInfo& cp) {
  std::string_view s = Trim(line);
  if (s.empty() || s[0] != '[') return std::nullopt;
  // "]" can be the second byte of a double-byte character: walk characters.
  for (size_t i = 1; i < s.size();) {
    if (s[i] == ']' && CharLen(s, i, cp) == 1) return Trim(s.substr(1, i - 1));
    i += CharLen(s, i, cp);
  }
  return std::nullopt;
}

std::string_view ValueOf(std::string_view raw_after_equals) {
  std::string_view v = Trim(raw_after_equals);
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace ini

IniNameFold::IniNameFold(const CodePageInfo& code_page)
    : cp_(code_page), cp932_(code_page.dbcs && code_page.lead == CodePageInfo::Cp932().lead) {}

std::string IniNameFold::operator()(std::string_view name) const {
  std::string out(name);
  for (size_t i = 0; i < out.size();) {
    unsigned char b = static_cast<unsigned char>(out[i]);
    if (CharLen(out, i, cp_) == 2) {
      if (cp932_) {
        unsigned char t = static_cast<unsigned char>(out[i + 1]);
        unsigned char folded = t;
        if (b == 0x82 && t >= 0x81 && t <= 0x9A) {
          folded = t - 0x21;  // full-width a-z -> A-Z (82 60 - 82 79)
        } else if (b == 0x83 && t >= 0xBF && t <= 0xD6) {
          folded = t - 0x20;  // Greek small -> capital (83 9F - 83 B6)
        } else if (b == 0x84 && t >= 0x70 && t <= 0x91) {
          // Cyrillic small (84 70 - 84 91, skipping 7F) -> capital (84 40 - 84 60)
          folded = t < 0x7F ? t - 0x30 : t - 0x31;
        }
        out[i + 1] = static_cast<char>(folded);
      }
      i += 2;
    } else {
      if (b >= 'a' && b <= 'z') out[i] = static_cast<char>(b - ('a' - 'A'));
      i += 1;
    }
  }
  return out;
}

IniDocument::IniDocument(std::string bytes, const CodePageInfo& code_page)
    : cp_(code_page), fold_(code_page), original_(std::move(bytes)) {
  std::string_view all(original_);
  size_t pos = 0;
  if (all.substr(0, kBom.size()) == kBom) {
    bom_ = true;
    pos = kBom.size();
  }
  bool eol_seen = false;
  while (pos < all.size()) {
    Line line;
    line.off = pos;
    size_t nl = all.find('\n', pos);
    if (nl == std::string_view::npos) {
      line.len = all.size() - pos;
      pos = all.size();
    } else {
      size_t end = nl;
      line.eol = Eol::kLf;
      if (end > pos && all[end - 1] == '\r') {
        --end;
        line.eol = Eol::kCrLf;
      }
      line.len = end - pos;
      pos = nl + 1;
      if (!eol_seen) {
        new_eol_ = line.eol;
        eol_seen = true;
      }
    }
    std::string_view s = ini::Trim(all.substr(line.off, line.len));
    if (s.empty()) {
      line.kind = Kind::kBlank;
    } else if (s[0] == ';') {
      line.kind = Kind::kComment;
    } else if (ini::HeaderName(s, code_page)) {
      line.kind = Kind::kHeader;
    } else if (s.find('=') != std::string_view::npos && !KeyOf(s).empty()) {
      line.kind = Kind::kEntry;
    }
    lines_.push_back(line);
  }
  parsed_lines_ = lines_.size();

  // Sections: the preamble, then one per header line.
  sections_.emplace_back();
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != Kind::kHeader) continue;
    sections_.back().end = i;
    Section s;
    s.name = std::string(*ini::HeaderName(Text(i), code_page));
    s.first = i;
    sections_.push_back(std::move(s));
  }
  sections_.back().end = lines_.size();
  for (size_t k = 0; k < sections_.size(); ++k) {
    Section& s = sections_[k];
    s.insert_after = s.first;
    for (size_t i = s.end; i > s.first; --i) {
      if (lines_[i - 1].kind != Kind::kBlank) {
        s.insert_after = i - 1;
        break;
      }
    }
    if (k == 0 || s.name.empty()) continue;
    if (section_index_.emplace(fold_(s.name), k).second) {
      s.addressable = true;
      IndexKeys(s);
    }
  }
}

void IniDocument::IndexKeys(Section& section) {
  for (size_t i = section.first + 1; i < section.end; ++i) {
    if (lines_[i].kind != Kind::kEntry) continue;
    section.keys[fold_(KeyOf(Text(i)))].lines.push_back(i);
  }
}

std::string_view IniDocument::Text(const Line& line) const {
  if (line.own >= 0) return owned_[static_cast<size_t>(line.own)];
  return std::string_view(original_).substr(line.off, line.len);
}

void IniDocument::SetText(size_t index, std::string text) {
  Line& line = lines_[index];
  if (line.own >= 0) {
    owned_[static_cast<size_t>(line.own)] = std::move(text);
  } else {
    owned_.push_back(std::move(text));
    line.own = static_cast<int64_t>(owned_.size() - 1);
  }
}

size_t IniDocument::AddLine(std::string text, Kind kind) {
  Line line;
  line.eol = new_eol_;
  line.kind = kind;
  if (!free_lines_.empty()) {
    // An added line that was removed and dropped from its section's list:
    // nothing refers to it any more, so it and its text slot take the new
    // line.
    size_t index = free_lines_.back();
    free_lines_.pop_back();
    line.own = lines_[index].own;
    owned_[static_cast<size_t>(line.own)] = std::move(text);
    lines_[index] = line;
    return index;
  }
  owned_.push_back(std::move(text));
  line.own = static_cast<int64_t>(owned_.size() - 1);
  lines_.push_back(line);
  return lines_.size() - 1;
}

template <typename Fn>
void IniDocument::ForEachLine(const Section& section, Fn fn) const {
  for (size_t i = section.first; i < section.end; ++i) {
    if (!lines_[i].removed) fn(i);
    if (i == section.insert_after) {
      for (size_t a : section.added)
        if (!lines_[a].removed) fn(a);
    }
  }
}

const IniDocument::Section* IniDocument::FindSection(std::string_view name) const {
  std::string_view trimmed = ini::Trim(name);
  if (trimmed.empty()) return nullptr;
  auto it = section_index_.find(fold_(trimmed));
  return it == section_index_.end() ? nullptr : &sections_[it->second];
}

IniDocument::Section* IniDocument::FindSection(std::string_view name) {
  return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

std::optional<size_t> IniDocument::FirstLine(const Section& section,
                                             const std::string& folded_key) {
  auto it = section.keys.find(folded_key);
  if (it == section.keys.end() || it->second.head >= it->second.lines.size()) return std::nullopt;
  return it->second.lines[it->second.head];
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (size_t k = 1; k < sections_.size(); ++k)
    if (!sections_[k].name.empty()) names.push_back(sections_[k].name);
  return names;
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  const Section* s = FindSection(section);
  if (!s) return names;
  ForEachLine(*s, [&](size_t i) {
    if (lines_[i].kind == Kind::kEntry) names.emplace_back(KeyOf(Text(i)));
  });
  return names;
}

std::vector<std::pair<std::string, std::string>> IniDocument::KeyValues(
    std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> out;
  const Section* s = FindSection(section);
  if (!s) return out;
  ForEachLine(*s, [&](size_t i) {
    if (lines_[i].kind != Kind::kEntry) return;
    std::string_view key = KeyOf(Text(i));
    size_t first = FirstLine(*s, fold_(key)).value_or(i);
    std::string_view text = Text(first);
    out.emplace_back(std::string(key), std::string(ini::ValueOf(text.substr(text.find('=') + 1))));
  });
  return out;
}

std::optional<std::string> IniDocument::Value(std::string_view section,
                                              std::string_view key) const {
  const Section* s = FindSection(section);
  if (!s) return std::nullopt;
  std::optional<size_t> line = FirstLine(*s, fold_(ini::Trim(key)));
  if (!line) return std::nullopt;
  std::string_view text = Text(*line);
  return std::string(ini::ValueOf(text.substr(text.find('=') + 1)));
}

bool IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  std::string_view sname = ini::Trim(section);
  std::string_view kname = ini::Trim(key);
  std::string_view val = ini::Trim(value);
  // A nameless section or key could never be found again.
  if (sname.empty() || kname.empty()) return false;

  Section* s = FindSection(sname);
  if (!s) {
    std::string header;
    header.reserve(sname.size() + 2);
    header.append("[").append(sname);
    // A name that ends in a lead byte standing alone would pair with the "]"
    // and leave the header unclosed; a blank before it is ignored on reading.
    if (ini::HeaderName(header + "]", cp_) != sname) header.append(" ");
    header.append("]");
    Section added;
    added.name = std::string(sname);
    added.first = AddLine(std::move(header), Kind::kHeader);
    added.end = added.first + 1;
    added.insert_after = added.first;
    added.addressable = true;
    sections_.push_back(std::move(added));
    section_index_.emplace(fold_(sname), sections_.size() - 1);
    s = &sections_.back();
    modified_ = true;
  }

  KeyLines& kl = s->keys[fold_(kname)];
  if (kl.head < kl.lines.size()) {
    size_t index = kl.lines[kl.head];
    std::string_view text = Text(index);
    size_t eq = text.find('=');
    std::string_view after = text.substr(eq + 1);
    size_t spacing = after.find_first_not_of(" \t");
    if (val.empty() || spacing == std::string_view::npos) spacing = 0;
    std::string next;
    next.reserve(eq + 1 + spacing + val.size());
    next.append(text.substr(0, eq + 1)).append(after.substr(0, spacing)).append(val);
    if (next == text) return false;
    SetText(index, std::move(next));
    modified_ = true;
    return true;
  }

  std::string line;
  line.reserve(kname.size() + 1 + val.size());
  line.append(kname).append("=").append(val);
  size_t index = AddLine(std::move(line), Kind::kEntry);
  s->added.push_back(index);
  kl.lines.clear();
  kl.head = 0;
  kl.lines.push_back(index);
  modified_ = true;
  return true;
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (!s) return false;
  auto it = s->keys.find(fold_(ini::Trim(key)));
  if (it == s->keys.end() || it->second.head >= it->second.lines.size()) return false;
  const size_t index = it->second.lines[it->second.head++];
  Line& line = lines_[index];
  line.removed = true;
  if (it->second.head == it->second.lines.size()) s->keys.erase(it);
  // A removed line is never read again. Rewriting a section key by key
  // (delete, then write at the end) removes and adds every line of it, run
  // after run: give the text back, and drop removed lines from the added
  // list once they are half of it, so that neither memory nor the walk over
  // the section grows with the number of rewrites. A dropped added line is
  // then referenced nowhere (its key's entry went when its last line was
  // removed, and an added line is always its key's only one), so its record
  // is reused by the next line added.
  if (line.own >= 0) std::string().swap(owned_[static_cast<size_t>(line.own)]);
  if (index >= parsed_lines_ && ++s->added_removed * 2 > s->added.size()) {
    std::erase_if(s->added, [this](size_t a) {
      if (!lines_[a].removed) return false;
      free_lines_.push_back(a);
      return true;
    });
    s->added_removed = 0;
  }
  modified_ = true;
  return true;
}

std::string IniDocument::Bytes() const {
  std::string out;
  out.reserve(original_.size() + 256);
  if (bom_) out.append(kBom);
  bool open = false;  // the last line written has no line ending yet
  for (const Section& s : sections_) {
    ForEachLine(s, [&](size_t i) {
      if (open) out.append(EolText(static_cast<uint8_t>(new_eol_)));
      const Line& line = lines_[i];
      out.append(Text(line));
      out.append(EolText(static_cast<uint8_t>(line.eol)));
      open = line.eol == Eol::kNone;
    });
  }
  return out;
}

void IniDocument::MarkSaved(std::string bytes) {
  saved_ = std::move(bytes);
  modified_ = false;
}

}  // namespace extmerge

#include "Sysutil.h"

#include <utility>

namespace extmerge {

CodePageInfo CodePageInfo::Cp932() {
  CodePageInfo info;
  info.dbcs = true;
  for (int b = 0x81; b <= 0x9F; ++b) info.lead[b] = true;
  for (int b = 0xE0; b <= 0xFC; ++b) info.lead[b] = true;
  return info;
}

CodePageInfo CodePageInfo::SingleByte() { return CodePageInfo{}; }

namespace {
CodePageInfo& Current() {
  static CodePageInfo info = CodePageInfo::Cp932();
  return info;
}
}  // namespace

const CodePageInfo& AnsiCodePage() { return Current(); }
void SetAnsiCodePage(const CodePageInfo& info) { Current() = info; }

size_t CharLengthAt(std::string_view text, size_t i) {
  if (i + 1 < text.size() && AnsiCodePage().IsLead(static_cast<unsigned char>(text[i]))) return 2;
  return 1;
}

namespace {
std::string ReplaceFirst(std::string_view templ, std::string_view token, std::string_view arg) {
  size_t pos = templ.find(token);
  if (pos == std::string_view::npos) return std::string(templ);
  std::string out;
  out.reserve(templ.size() + arg.size());
  out.append(templ.substr(0, pos));
  out.append(arg);
  out.append(templ.substr(pos + token.size()));
  return out;
}
}  // namespace

std::string FormatWithString(std::string_view templ, std::string_view arg) {
  return ReplaceFirst(templ, "%s", arg);
}

std::string FormatWithInt(std::string_view templ, long long value) {
  return ReplaceFirst(templ, "%d", std::to_string(value));
}

namespace {
ResourceLoader& CurrentLoader() {
  static ResourceLoader loader;
  return loader;
}
}  // namespace

ResourceLoader SetResourceLoader(ResourceLoader loader) {
  ResourceLoader previous = std::move(CurrentLoader());
  CurrentLoader() = std::move(loader);
  return previous;
}

std::string LoadResourceText(int id) {
  const ResourceLoader& loader = CurrentLoader();
  return loader ? loader(id) : std::string();
}

}  // namespace extmerge

// Text services of the Windows layer: the locale comparison, the ANSI code
// page's lead bytes and the code page 932 <-> UTF-8 conversions.
#include <climits>

#include "platform/SystemPlatform.h"
#include "platform/win32/Win32Platform.h"

namespace extmerge {

namespace win32 {

namespace {

constexpr UINT kCp932 = 932;  // explicitly, whatever the system's ANSI code page is

// The API takes int lengths; texts of 2 GiB and more are not ours to handle.
int ApiLength(size_t n) { return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n); }

// Strict encoding into code page 932: false when a character has no exact
// counterpart there (no best-fit look-alikes, no default character).
bool WideToCp932Strict(std::wstring_view wide, std::string& out) {
  out.clear();
  if (wide.empty()) return true;
  BOOL used_default = FALSE;
  int n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data(), ApiLength(wide.size()),
                              nullptr, 0, nullptr, &used_default);
  if (n <= 0 || used_default) return false;
  out.resize(static_cast<size_t>(n));
  used_default = FALSE;
  n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data(), ApiLength(wide.size()),
                          out.data(), n, nullptr, &used_default);
  return n == static_cast<int>(out.size()) && !used_default;
}

// Length of the UTF-8 sequence its first byte announces (1 for a stray byte).
size_t Utf8SequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

bool ToWideStrict(UINT code_page, std::string_view text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), ApiLength(text.size()),
                              nullptr, 0);
  if (n <= 0) return false;
  wide.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), ApiLength(text.size()),
                             wide.data(), n) == n;
}

std::string WideToMultiByte(UINT code_page, std::wstring_view wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(code_page, 0, wide.data(), ApiLength(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  n = WideCharToMultiByte(code_page, 0, wide.data(), ApiLength(wide.size()), out.data(), n, nullptr,
                          nullptr);
  if (n <= 0) return std::string();
  out.resize(static_cast<size_t>(n));
  return out;
}

int UserLocaleCollation::Compare(std::string_view a, std::string_view b) const {
  // Explicit lengths: entries may hold NUL bytes, and the API must see them.
  // The pointers must not be null even for empty texts.
  const char* pa = a.empty() ? "" : a.data();
  const char* pb = b.empty() ? "" : b.data();
  switch (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, pa, ApiLength(a.size()), pb,
                         ApiLength(b.size()))) {
    case CSTR_EQUAL:
      return 0;
    case CSTR_GREATER_THAN:
      return 1;
    default:  // CSTR_LESS_THAN, and a failed comparison counts as less
      return -1;
  }
}

// The system's sort key with the comparison's own flags: sort keys are made
// to order, byte by byte, like the comparison with the same flags, and equal
// keys are equal texts.
std::string UserLocaleCollation::Key(std::string_view text) const {
  // An empty text is passed as an empty NUL-terminated one: a zero length
  // is refused.
  const char* p = text.empty() ? "" : text.data();
  int length = text.empty() ? -1 : ApiLength(text.size());
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  int n = LCMapStringA(LOCALE_USER_DEFAULT, flags, p, length, nullptr, 0);
  if (n > 0) {
    std::string key(static_cast<size_t>(n), '\0');
    n = LCMapStringA(LOCALE_USER_DEFAULT, flags, p, length, key.data(), n);
    if (n > 0) {
      key.resize(static_cast<size_t>(n));
      return key;
    }
  }
  // No sort key at all (out of memory): the text itself, so that at least
  // equal texts still share a key.
  return std::string(text);
}

int UserLocaleCollation::CompareKeys(std::string_view ka, std::string_view kb) const {
  int c = ka.compare(kb);  // unsigned bytes
  return (c > 0) - (c < 0);
}

CodePageInfo Win32Platform::AnsiCodePageInfo() {
  CodePageInfo info;
  info.dbcs = GetSystemMetrics(SM_DBCSENABLED) != 0;
  CPINFO cp{};
  if (GetCPInfo(CP_ACP, &cp)) {
    // Pairs of inclusive ranges, ended by a pair of zeros.
    for (int i = 0; i + 1 < MAX_LEADBYTES; i += 2) {
      unsigned lo = cp.LeadByte[i];
      unsigned hi = cp.LeadByte[i + 1];
      if (lo == 0 && hi == 0) break;
      for (unsigned b = lo; b <= hi && b < 256; ++b) info.lead[b] = true;
    }
  }
  return info;
}

}  // namespace win32

std::string Cp932ToUtf8(std::string_view cp932) {
  std::wstring wide;
  if (win32::ToWideStrict(win32::kCp932, cp932, wide)) {
    return win32::WideToMultiByte(CP_UTF8, wide);
  }
  // Some bytes are not code page 932: convert character by character and
  // pass the bytes that fail through as they are.
  const CodePageInfo cp = CodePageInfo::Cp932();
  std::string out;
  for (size_t i = 0; i < cp932.size();) {
    size_t len = 1;
    if (cp.IsLead(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size()) len = 2;
    if (win32::ToWideStrict(win32::kCp932, cp932.substr(i, len), wide)) {
      out += win32::WideToMultiByte(CP_UTF8, wide);
      i += len;
    } else {
      out += cp932[i];  // the next byte may still start a valid character
      ++i;
    }
  }
  return out;
}

std::string Utf8ToCp932(std::string_view utf8) {
  std::wstring wide;
  std::string out;
  if (win32::ToWideStrict(CP_UTF8, utf8, wide) && win32::WideToCp932Strict(wide, out)) return out;
  // Invalid UTF-8 or characters code page 932 lacks: sequence by sequence,
  // raw bytes where there is no counterpart.
  out.clear();
  std::string piece;
  for (size_t i = 0; i < utf8.size();) {
    size_t len = win32::Utf8SequenceLength(static_cast<unsigned char>(utf8[i]));
    if (i + len > utf8.size()) len = 1;
    std::string_view seq = utf8.substr(i, len);
    if (!win32::ToWideStrict(CP_UTF8, seq, wide)) {
      out += utf8[i];
      ++i;
      continue;
    }
    if (win32::WideToCp932Strict(wide, piece)) {
      out += piece;
    } else {
      out.append(seq);
    }
    i += len;
  }
  return out;
}

}  // namespace extmerge

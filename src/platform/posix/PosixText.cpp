// Code page 932 conversions through ICU's converter for Microsoft's code page
// 932 ("ibm-943_P15A-2003": 0x5C is the backslash, 0x7E the tilde, 0x8160
// the full-width tilde U+FF5E, as on Windows).
//
// Bytes or characters without a counterpart are passed through as their raw
// bytes in both directions:
//  - code page 932 -> UTF-8: a byte that is not part of a mapped character
//    (a lone lead byte, a lead byte with an unusable second byte, an
//    unassigned pair, 0x80, 0xA0, 0xFD-0xFF) is copied as it is, leaving
//    invalid UTF-8 in the result;
//  - UTF-8 -> code page 932: a byte that is not valid UTF-8 is copied as it
//    is, and a character the code page lacks is copied as its UTF-8 bytes.
// So valid text converts without loss, and text of the other encoding that
// went through a conversion by mistake mostly comes back unchanged. Only the
// characters that code page 932 encodes twice (NEC and IBM extensions) come
// back in their preferred form, as they do on Windows.
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <memory>
#include <vector>

#include "Sysutil.h"
#include "platform/SystemPlatform.h"
#include "platform/posix/PosixText.h"

namespace extmerge {

namespace {

constexpr const char* kCp932Name = "ibm-943_P15A-2003";

// Raw bytes travel through UTF-16 as lone low surrogates U+DC00 + byte. No
// valid conversion produces a lone surrogate, so they cannot be confused
// with text.
constexpr UChar kRawByteBase = 0xDC00;
bool IsRawByteUnit(UChar32 c) { return c >= 0xDC00 && c <= 0xDCFF; }

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

void ToUnicodeKeepBytes(const void*, UConverterToUnicodeArgs* args, const char* units,
                        int32_t length, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
  *err = U_ZERO_ERROR;
  for (int32_t i = 0; i < length && U_SUCCESS(*err); ++i) {
    UChar raw = static_cast<UChar>(kRawByteBase + static_cast<unsigned char>(units[i]));
    ucnv_cbToUWriteUChars(args, &raw, 1, 0, err);
  }
}

void FromUnicodeKeepBytes(const void*, UConverterFromUnicodeArgs* args, const UChar* units,
                          int32_t length, UChar32, UConverterCallbackReason reason,
                          UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  for (int32_t i = 0; i < length && U_SUCCESS(*err);) {
    UChar32 c;
    U16_NEXT(units, i, length, c);
    char bytes[U8_MAX_LENGTH];
    int32_t n = 0;
    if (IsRawByteUnit(c)) {
      bytes[n++] = static_cast<char>(c & 0xFF);
    } else {
      UBool bad = false;
      U8_APPEND(bytes, n, U8_MAX_LENGTH, c, bad);
      if (bad) continue;
    }
    ucnv_cbFromUWriteBytes(args, bytes, n, 0, err);
  }
}

// One converter per thread (a converter keeps state), set up to keep bytes.
UConverter* Cp932Converter() {
  thread_local ConverterPtr conv = [] {
    UErrorCode err = U_ZERO_ERROR;
    ConverterPtr c(ucnv_open(kCp932Name, &err));
    if (U_FAILURE(err)) return ConverterPtr();
    ucnv_setToUCallBack(c.get(), ToUnicodeKeepBytes, nullptr, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(c.get(), FromUnicodeKeepBytes, nullptr, nullptr, nullptr, &err);
    if (U_FAILURE(err)) return ConverterPtr();
    return c;
  }();
  if (conv) ucnv_reset(conv.get());
  return conv.get();
}

}  // namespace

void posix::Utf8ToUtf16KeepBytes(std::string_view utf8, std::u16string& out) {
  out.clear();
  out.reserve(utf8.size());
  const uint8_t* s = reinterpret_cast<const uint8_t*>(utf8.data());
  int32_t n = static_cast<int32_t>(utf8.size());
  for (int32_t i = 0; i < n;) {
    int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, n, c);
    if (c < 0) {
      // Keep every byte of the rejected sequence.
      for (int32_t k = start; k < i; ++k) out.push_back(static_cast<char16_t>(kRawByteBase + s[k]));
    } else if (c <= 0xFFFF) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  }
}

namespace {

// UTF-16 -> UTF-8, raw-byte units back to their bytes.
std::string Utf16ToUtf8KeepBytes(const UChar* s, int32_t n) {
  std::string out;
  out.reserve(static_cast<size_t>(n) * 3);
  for (int32_t i = 0; i < n;) {
    UChar32 c;
    U16_NEXT(s, i, n, c);
    if (IsRawByteUnit(c)) {
      out.push_back(static_cast<char>(c & 0xFF));
      continue;
    }
    char bytes[U8_MAX_LENGTH];
    int32_t len = 0;
    UBool bad = false;
    U8_APPEND(bytes, len, U8_MAX_LENGTH, c, bad);
    if (!bad) out.append(bytes, static_cast<size_t>(len));
  }
  return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  UConverter* conv = Cp932Converter();
  if (conv == nullptr || cp932.empty()) return std::string(cp932);
  // Every byte yields at most one UTF-16 unit.
  std::vector<UChar> units(cp932.size() + 1);
  UChar* target = units.data();
  const char* source = cp932.data();
  UErrorCode err = U_ZERO_ERROR;
  ucnv_toUnicode(conv, &target, units.data() + units.size(), &source, cp932.data() + cp932.size(),
                 nullptr, true, &err);
  if (U_FAILURE(err)) return std::string(cp932);
  return Utf16ToUtf8KeepBytes(units.data(), static_cast<int32_t>(target - units.data()));
}

std::string Utf8ToCp932(std::string_view utf8) {
  UConverter* conv = Cp932Converter();
  if (conv == nullptr || utf8.empty()) return std::string(utf8);
  std::u16string units;
  posix::Utf8ToUtf16KeepBytes(utf8, units);
  // A unit becomes at most 2 bytes; a unit passed through, at most 3 (a
  // supplementary character: two units, four bytes).
  std::string out(units.size() * 3 + 1, '\0');
  char* target = out.data();
  const UChar* source = reinterpret_cast<const UChar*>(units.data());
  UErrorCode err = U_ZERO_ERROR;
  ucnv_fromUnicode(conv, &target, out.data() + out.size(), &source, source + units.size(), nullptr,
                   true, &err);
  if (U_FAILURE(err)) return std::string(utf8);
  out.resize(static_cast<size_t>(target - out.data()));
  return out;
}

namespace posix {

namespace {

constexpr char16_t kUnmapped = 0xFFFF;  // never the image of a code page 932 character

// Code page 932 -> UTF-16, one table entry per single byte and per byte pair,
// filled from ICU's converter once. Comparisons decode a lot of short texts;
// a table lookup per character keeps that cheap.
struct DecodeTable {
  char16_t single[256];
  std::vector<char16_t> pair;  // index lead * 256 + trail

  DecodeTable() : pair(65536, kUnmapped) {
    for (char16_t& u : single) u = kUnmapped;
    UErrorCode err = U_ZERO_ERROR;
    ConverterPtr conv(ucnv_open(kCp932Name, &err));
    if (U_FAILURE(err)) {
      for (int b = 0; b < 256; ++b) single[b] = static_cast<char16_t>(b);
      return;
    }
    ucnv_setToUCallBack(conv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    auto decode = [&](const char* bytes, int32_t n) -> char16_t {
      UErrorCode e = U_ZERO_ERROR;
      ucnv_reset(conv.get());
      UChar out[4];
      int32_t len = ucnv_toUChars(conv.get(), out, 4, bytes, n, &e);
      return U_SUCCESS(e) && len == 1 && out[0] != kUnmapped ? out[0] : kUnmapped;
    };
    const CodePageInfo cp = CodePageInfo::Cp932();
    for (int b = 0; b < 256; ++b) {
      char bytes[2] = {static_cast<char>(b), 0};
      if (!cp.IsLead(static_cast<unsigned char>(b))) {
        single[b] = decode(bytes, 1);
        continue;
      }
      for (int t = 0; t < 256; ++t) {
        if (!IsCp932Trail(static_cast<unsigned char>(t))) continue;
        bytes[1] = static_cast<char>(t);
        pair[b * 256 + t] = decode(bytes, 2);
      }
    }
  }
};

const DecodeTable& Table() {
  static const DecodeTable table;
  return table;
}

// Writes the private-use code point of a byte without a character.
char16_t* PutByteCodePoint(char16_t* out, unsigned char b) {
  UChar32 c = 0xF0000 + b;
  out[0] = static_cast<char16_t>(U16_LEAD(c));
  out[1] = static_cast<char16_t>(U16_TRAIL(c));
  return out + 2;
}

}  // namespace

void DecodeCp932Distinct(std::string_view cp932, std::u16string& out) {
  const DecodeTable& table = Table();
  static const CodePageInfo cp = CodePageInfo::Cp932();
  const size_t n = cp932.size();
  // At most two units per byte (a byte without a character).
  out.resize(2 * n);
  char16_t* const begin = out.data();
  char16_t* put = begin;
  for (size_t i = 0; i < n;) {
    unsigned char b = static_cast<unsigned char>(cp932[i]);
    if (cp.IsLead(b)) {
      if (i + 1 < n) {
        char16_t u = table.pair[b * 256 + static_cast<unsigned char>(cp932[i + 1])];
        if (u != kUnmapped) {
          *put++ = u;
          i += 2;
          continue;
        }
      }
      // A lone lead byte: the byte after it is read on its own.
      put = PutByteCodePoint(put, b);
      ++i;
      continue;
    }
    char16_t u = table.single[b];
    if (u != kUnmapped) {
      *put++ = u;
    } else {
      put = PutByteCodePoint(put, b);
    }
    ++i;
  }
  out.resize(static_cast<size_t>(put - begin));
}

std::string NativePath(std::string_view path) {
  static const CodePageInfo cp = CodePageInfo::Cp932();
  std::string mapped(path);
  for (size_t i = 0; i < mapped.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(mapped[i]);
    if (cp.IsLead(b) && i + 1 < mapped.size() &&
        IsCp932Trail(static_cast<unsigned char>(mapped[i + 1]))) {
      ++i;  // the second byte belongs to the character, even when it is 0x5C
    } else if (b == '\\') {
      mapped[i] = '/';
    }
  }
  return Cp932ToUtf8(mapped);
}

std::string ToolText(std::string_view native) { return Utf8ToCp932(native); }

}  // namespace posix
}  // namespace extmerge

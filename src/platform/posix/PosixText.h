// Text services of the posix layer: code page 932 through ICU, and the
// mapping between the tool's Windows paths and the file system's names.
#pragma once

#include <string>
#include <string_view>

namespace extmerge::posix {

// Code page 932 -> UTF-16 for comparisons: every byte that is not part of a
// mapped character becomes its own private-use code point U+F0000 + byte, so
// that no two different byte strings decode alike (apart from the few
// characters the code page itself encodes twice, which Windows treats as
// the same character too). `out` is replaced.
void DecodeCp932Distinct(std::string_view cp932, std::u16string& out);

// UTF-8 -> UTF-16; each byte that is not valid UTF-8 becomes U+DC00 + byte
// (a lone surrogate, which valid text never yields). `out` is replaced.
void Utf8ToUtf16KeepBytes(std::string_view utf8, std::u16string& out);

// A path of the tool (code page 932, "\" separators) as a file system name
// (UTF-8, "/" separators). A "\" that is the second byte of a double-byte
// character stays a part of that character.
std::string NativePath(std::string_view path);

// A file system name (UTF-8) as the tool's text (code page 932), with "/"
// kept: the layer accepts both separators on the way back in.
std::string ToolText(std::string_view native);

// Is `b` a byte that may follow a lead byte in code page 932?
inline bool IsCp932Trail(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

}  // namespace extmerge::posix

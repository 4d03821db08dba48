// Test helpers for code page 932 text written as UTF-8 in the test sources.
#pragma once

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SystemPlatform.h"

namespace extmerge::test {

// UTF-8 source text -> code page 932 bytes.
inline std::string J(std::string_view utf8) { return Utf8ToCp932(utf8); }

// Texts of up to four pieces of every kind a catalogue may hold: ASCII in
// both cases, full-width and Greek letters in both cases, hiragana,
// katakana, half-width katakana with voicing marks, kanji, symbols, digits,
// "=" and bytes that are no character (a lone lead byte, unused bytes).
// Pieces repeat, so that equal and case-equal texts come up often.
inline std::vector<std::string> MixedTexts(unsigned seed, int count) {
  const std::string pieces[] = {
      "a",       "A",       "ab",    "AB",    "Z",        "z",        "0",     "9",
      "10",      " ",       "-",     "_",     "=",        "~",        "\\",    J("Ａ"),
      J("ａ"),   J("Ｚ"),   J("ｚ"), J("Ω"),  J("ω"),     J("あ"),    J("ア"), J("ｱ"),
      J("か"),   J("が"),   J("カ"), J("ｶﾞ"), J("ｶ"),     J("ァ"),    J("ー"), J("～"),
      J("素材"), J("追加"), J("髙"), J("高"), J("①"),     J("Ⅰ"),     J("※"),  J("　"),
      "\x81",    "\x80",    "\xA0",  "\xFD",  "\x85\x40", "\x81\x20", J("・"), J("＝"),
  };
  std::mt19937 rng(seed);
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) {
    std::string t;
    for (int n = static_cast<int>(rng() % 5); n > 0; --n)
      t += pieces[rng() % (sizeof(pieces) / sizeof(pieces[0]))];
    texts.push_back(std::move(t));
  }
  return texts;
}

}  // namespace extmerge::test

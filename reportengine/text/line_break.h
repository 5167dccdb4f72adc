// Breaking one paragraph (text without line breaks) into lines that fit a width, given the
// advance of each of its characters. The rules are those of the report's text objects:
//  - lines break at spaces; the spaces at a break are dropped and never make a line overflow;
//  - around Japanese and other CJK characters a line may break between any two characters, so a
//    run of them breaks after the last character that fits;
//  - a word that fits on no line breaks after its last character that fits;
//  - with hyphenation, a word that does not fit on the current line is split at the last
//    hyphenation point whose first part, with a hyphen added, still fits;
//  - every line holds at least one character, however narrow the width.
#ifndef REPORTENGINE_TEXT_LINE_BREAK_H_
#define REPORTENGINE_TEXT_LINE_BREAK_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace re {

// One unit that is never split (a character with any marks on it), as shaping groups them.
struct BreakCluster {
  size_t begin = 0;    // byte offset in the paragraph; clusters are in text order
  float advance = 0;   // its advance width
};

// One line of the result: the bytes [begin, end) of the paragraph, then a hyphen if `hyphen`.
struct LineSpan {
  size_t begin = 0;
  size_t end = 0;
  bool hyphen = false;
  friend bool operator==(const LineSpan&, const LineSpan&) = default;
};

// Offsets inside `word` (a run of letters) after which it may be split, in increasing order.
using HyphenationPoints = std::function<std::vector<size_t>(std::string_view word)>;

// Breaks `paragraph` into lines no wider than max_width where the rules allow.
// hyphenation (may be empty: no hyphenation) says where runs of Russian letters may be split;
// hyphen_width is the advance of the hyphen then added. An empty paragraph gives one empty line.
// REQUIRES: clusters cover the paragraph, the first beginning at 0.
std::vector<LineSpan> BreakParagraph(std::string_view paragraph,
                                     const std::vector<BreakCluster>& clusters, float max_width,
                                     const HyphenationPoints& hyphenation, float hyphen_width);

// True for characters around which a line may break without a space (CJK ideographs, kana,
// full-width forms, CJK punctuation and the ideographic space).
bool IsCjkBreakable(char32_t c);

// The code point starting at byte i of s (U+FFFD for a malformed sequence or an i past the
// end).
char32_t CodePointAt(std::string_view s, size_t i);

}  // namespace re

#endif  // REPORTENGINE_TEXT_LINE_BREAK_H_

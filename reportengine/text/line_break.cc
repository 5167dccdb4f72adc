#include "reportengine/text/line_break.h"

#include <algorithm>
#include <optional>

#include "common/text_encoding.h"
#include "reportengine/text/hyphenation.h"
#include "reportengine/text/text_constants.h"

namespace re {
namespace {

enum class Kind : uint8_t { kOther, kSpace, kCjk, kRussianLetter };


class ParagraphBreaker {
 public:
  ParagraphBreaker(std::string_view text, const std::vector<BreakCluster>& clusters,
                   float max_width, const HyphenationPoints& hyphenation, float hyphen_width)
      : text_(text), clusters_(clusters), max_width_(max_width), hyphenation_(hyphenation),
        hyphen_width_(hyphen_width), kind_(clusters.size()), x_(clusters.size() + 1, 0.0f) {
    for (size_t k = 0; k < clusters_.size(); ++k) {
      const char32_t c = CodePointAt(text_, clusters_[k].begin);
      kind_[k] = c == U' '               ? Kind::kSpace
                 : IsCjkBreakable(c)     ? Kind::kCjk
                 : IsRussianLetter(c)    ? Kind::kRussianLetter
                                         : Kind::kOther;
      x_[k + 1] = x_[k] + clusters_[k].advance;
    }
  }

  std::vector<LineSpan> Run() {
    std::vector<LineSpan> lines;
    const size_t n = clusters_.size();
    if (n == 0) return {LineSpan{0, 0, false}};
    size_t start = 0;
    while (start < n) {
      size_t break_end = start;   // a line may end before this cluster (start: none found yet)
      size_t break_next = start;  // ... and the next one then starts here
      size_t word_start = start;  // first cluster of the word being set
      size_t k = start;
      while (k < n) {
        if (kind_[k] == Kind::kSpace) {
          size_t run_end = k;
          while (run_end < n && kind_[run_end] == Kind::kSpace) ++run_end;
          if (k > start) {
            break_end = k;
            break_next = run_end;
          }
          k = word_start = run_end;
          continue;
        }
        if (k > start && kind_[k - 1] != Kind::kSpace &&
            (kind_[k] == Kind::kCjk || kind_[k - 1] == Kind::kCjk)) {
          break_end = break_next = word_start = k;
        }
        if (!Fits(Width(start, k + 1))) break;
        ++k;
      }
      if (k >= n) {
        lines.push_back({clusters_[start].begin, text_.size(), false});
        break;
      }
      if (std::optional<size_t> h = HyphenationBreak(start, word_start, k)) {
        lines.push_back({clusters_[start].begin, Begin(*h), true});
        start = *h;
      } else if (break_end > start) {
        lines.push_back({clusters_[start].begin, Begin(break_end), false});
        start = break_next;
      } else {
        const size_t cut = k > start ? k : start + 1;
        lines.push_back({clusters_[start].begin, Begin(cut), false});
        start = cut;
      }
    }
    return lines;
  }

 private:
  size_t Begin(size_t k) const { return k < clusters_.size() ? clusters_[k].begin : text_.size(); }
  float Width(size_t from, size_t to) const { return x_[to] - x_[from]; }
  bool Fits(float width) const { return width <= max_width_ + text::kWidthToleranceMm; }

  // The last cluster (in (start, overflow]) before which the word that overflowed at `overflow`
  // can be split with a hyphen that still fits on the line started at `start`.
  std::optional<size_t> HyphenationBreak(size_t start, size_t word_start, size_t overflow) const {
    if (!hyphenation_) return std::nullopt;
    std::optional<size_t> best;
    size_t k = word_start;
    const size_t n = clusters_.size();
    while (k < n && kind_[k] != Kind::kSpace && k <= overflow) {
      if (kind_[k] != Kind::kRussianLetter) {
        ++k;
        continue;
      }
      size_t run_end = k;
      while (run_end < n && kind_[run_end] == Kind::kRussianLetter) ++run_end;
      const size_t run_begin_byte = Begin(k);
      for (size_t offset :
           hyphenation_(text_.substr(run_begin_byte, Begin(run_end) - run_begin_byte))) {
        const size_t byte = run_begin_byte + offset;
        auto it = std::lower_bound(clusters_.begin() + k, clusters_.begin() + run_end, byte,
                                   [](const BreakCluster& c, size_t b) { return c.begin < b; });
        if (it == clusters_.begin() + run_end || it->begin != byte) continue;
        const auto h = static_cast<size_t>(it - clusters_.begin());
        if (h > start && h <= overflow && Fits(Width(start, h) + hyphen_width_)) best = h;
      }
      k = run_end;
    }
    return best;
  }

  std::string_view text_;
  const std::vector<BreakCluster>& clusters_;
  float max_width_;
  const HyphenationPoints& hyphenation_;
  float hyphen_width_;
  std::vector<Kind> kind_;  // per cluster: what its first character is
  std::vector<float> x_;    // x_[k]: advance of clusters [0, k)
};

}  // namespace

char32_t CodePointAt(std::string_view s, size_t i) {
  return i < s.size() ? common::DecodeUtf8(s, &i) : char32_t{0xFFFD};
}

bool IsCjkBreakable(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) ||    // Hangul Jamo
         (c >= 0x2E80 && c <= 0x9FFF) ||    // CJK radicals, punctuation, kana, ideographs
         (c >= 0xAC00 && c <= 0xD7AF) ||    // Hangul syllables
         (c >= 0xF900 && c <= 0xFAFF) ||    // CJK compatibility ideographs
         (c >= 0xFE30 && c <= 0xFE4F) ||    // CJK compatibility forms
         (c >= 0xFF00 && c <= 0xFFEF) ||    // full-width and half-width forms
         (c >= 0x20000 && c <= 0x3FFFF);    // supplementary ideographs
}

std::vector<LineSpan> BreakParagraph(std::string_view paragraph,
                                     const std::vector<BreakCluster>& clusters, float max_width,
                                     const HyphenationPoints& hyphenation, float hyphen_width) {
  return ParagraphBreaker(paragraph, clusters, max_width, hyphenation, hyphen_width).Run();
}

}  // namespace re

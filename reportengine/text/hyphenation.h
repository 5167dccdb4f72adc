// Russian hyphenation: where a word of Cyrillic letters may be split at the end of a line,
// found with libhyphen and the TeX-derived Russian patterns.
#ifndef REPORTENGINE_TEXT_HYPHENATION_H_
#define REPORTENGINE_TEXT_HYPHENATION_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct _HyphenDict;

namespace re {

// True for the Cyrillic letters the Russian patterns know: А–я, Ё and ё.
bool IsRussianLetter(char32_t c);

class Hyphenator {
 public:
  Hyphenator() = default;
  ~Hyphenator();
  Hyphenator(const Hyphenator&) = delete;
  Hyphenator& operator=(const Hyphenator&) = delete;

  // Loads the patterns of an 8-bit KOI8-R dictionary file. Returns false and sets *error (when
  // non-null) when the file cannot be read or is in another encoding. REQUIRES: not loaded yet.
  bool Load(const std::string& path, std::string* error);
  bool loaded() const { return dict_ != nullptr; }

  // Byte offsets inside word (UTF-8) at which it may be split: the first part is
  // word.substr(0, offset). Empty when nothing is loaded, when word holds anything but Russian
  // letters, or when it is too short to split; at least two letters stay on either side.
  std::vector<size_t> Points(std::string_view word) const;

 private:
  _HyphenDict* dict_ = nullptr;  // owned; the loaded patterns
};

}  // namespace re

#endif  // REPORTENGINE_TEXT_HYPHENATION_H_

#include "reportengine/text/hyphenation.h"

#include <hyphen.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/text_encoding.h"
#include "reportengine/text/text_constants.h"
#include "reportengine/text/text_leak_scope.h"

namespace re {
namespace {

// KOI8-R lower-case letters from 0xC0 on, in code order; ё is 0xA3.
constexpr char16_t kKoi8LowerFromC0[] = u"юабцдефгхийклмнопярстужвьызшэщчъ";

// The KOI8-R byte of the lower-case form of a Russian letter, 0 for anything else.
unsigned char Koi8Lower(char32_t c) {
  if (c >= 0x0410 && c <= 0x042F) c += 0x20;  // А–Я -> а–я
  if (c == 0x0401 || c == 0x0451) return 0xA3;
  for (unsigned i = 0; i < 32; ++i) {
    if (kKoi8LowerFromC0[i] == c) return static_cast<unsigned char>(0xC0 + i);
  }
  return 0;
}

}  // namespace

bool IsRussianLetter(char32_t c) {
  return (c >= 0x0410 && c <= 0x044F) || c == 0x0401 || c == 0x0451;
}

Hyphenator::~Hyphenator() {
  if (dict_) hnj_hyphen_free(dict_);
}

bool Hyphenator::Load(const std::string& path, std::string* error) {
  HyphenDict* dict = nullptr;
  {
    LibraryLeakScope scope;
    dict = hnj_hyphen_load(path.c_str());
  }
  if (!dict) {
    if (error) *error = std::string(text::kHyphenationUnreadable) + path;
    return false;
  }
  if (dict->utf8 || std::strcmp(dict->cset, "KOI8-R") != 0) {
    if (error) *error = std::string(text::kHyphenationNotKoi8r) + path;
    hnj_hyphen_free(dict);
    return false;
  }
  dict_ = dict;
  return true;
}

std::vector<size_t> Hyphenator::Points(std::string_view word) const {
  std::vector<size_t> points;
  if (!dict_ || word.empty() || word.size() % 2 != 0) return points;

  std::string koi8;
  koi8.reserve(word.size() / 2);
  // Every Russian letter is two bytes of UTF-8.
  for (size_t i = 0; i < word.size(); i += 2) {
    size_t next = i;
    const char32_t c = common::DecodeUtf8(word, &next);
    if (next != i + 2 || !IsRussianLetter(c)) return points;
    koi8.push_back(static_cast<char>(Koi8Lower(c)));
  }
  const int n = static_cast<int>(koi8.size());
  if (n < 2 * text::kMinHyphenationPart) return points;

  std::vector<char> hyphens(koi8.size() + 5, '0');
  char** rep = nullptr;
  int* pos = nullptr;
  int* cut = nullptr;
  const int lh = std::max<int>(text::kMinHyphenationPart, dict_->lhmin);
  const int rh = std::max<int>(text::kMinHyphenationPart, dict_->rhmin);
  const int failed = hnj_hyphen_hyphenate3(dict_, koi8.data(), n, hyphens.data(), nullptr, &rep,
                                           &pos, &cut, lh, rh, lh, rh);
  // Russian patterns carry no replacements, but the library may still hand back the arrays.
  if (rep) {
    for (int i = 0; i < n; ++i) std::free(rep[i]);
    std::free(rep);
  }
  std::free(pos);
  std::free(cut);
  if (failed) return points;

  // hyphens[i] odd: a split may follow letter i. The hyphenmin limits are enforced again here so
  // that no dictionary can leave a single letter on a line.
  for (int i = lh - 1; i < n - rh; ++i) {
    if (hyphens[i] & 1) points.push_back(static_cast<size_t>(i + 1) * 2);
  }
  return points;
}

}  // namespace re

#include "reportengine/qt/page_text_search.h"

#include <algorithm>
#include <variant>

namespace re {
namespace {

// Stands between two lines of one object: it matches a blank of the phrase (the space the line
// break took) or nothing, and never starts a match.
constexpr char16_t kLineBreak = u'\u0001';

bool BelongsToPrevious(char32_t c) {
  // Combining marks, and the half-width voiced and semi-voiced sound marks, which NFKC joins
  // with the katakana before them (ｶﾞ → ガ).
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
      return true;
    default:
      return c == 0xFF9E || c == 0xFF9F;
  }
}

bool IsBlank(QChar c) { return c.isSpace(); }

// The folded text of one object with, per UTF-16 unit, where it came from.
struct FoldedObject {
  QString text;
  std::vector<int> line;       // index into the object's lines; -1 for a line break
  std::vector<size_t> begin;   // bytes of the source cluster in that line
  std::vector<size_t> end;
};

}  // namespace

const QString& PageTextSearch::FoldCluster(const QString& cluster) {
  auto it = folded_.find(cluster);
  if (it == folded_.end()) {
    it = folded_.insert(cluster, cluster.normalized(QString::NormalizationForm_KC)
                                     .toCaseFolded()
                                     .normalized(QString::NormalizationForm_KC));
  }
  return *it;
}

QString PageTextSearch::Fold(const QString& text) {
  QString out;
  const std::u32string code_points = text.toStdU32String();
  for (size_t i = 0; i < code_points.size();) {
    size_t j = i + 1;
    while (j < code_points.size() && BelongsToPrevious(code_points[j])) ++j;
    out += FoldCluster(QString::fromUcs4(code_points.data() + i, static_cast<qsizetype>(j - i)));
    i = j;
  }
  return out;
}

std::vector<std::vector<int>> TextObjectsOf(const PreparedPage& page) {
  std::vector<std::vector<int>> objects;
  const RectMm* last_box = nullptr;
  for (int i = 0; i < static_cast<int>(page.items.size()); ++i) {
    const auto* item = std::get_if<TextItem>(&page.items[static_cast<size_t>(i)]);
    if (!item || !item->line) {
      last_box = nullptr;
      continue;
    }
    if (last_box && *last_box == item->clip) objects.back().push_back(i);
    else objects.push_back({i});
    last_box = &item->clip;
  }
  return objects;
}

std::vector<TextMatch> PageTextSearch::Find(const std::vector<PreparedPage>& pages,
                                            const QString& phrase) {
  std::vector<TextMatch> matches;
  const QString query = Fold(phrase);
  if (query.trimmed().isEmpty()) return matches;

  for (int p = 0; p < static_cast<int>(pages.size()); ++p) {
    const PreparedPage& page = pages[static_cast<size_t>(p)];
    for (const std::vector<int>& object : TextObjectsOf(page)) {
      FoldedObject folded;
      for (int l = 0; l < static_cast<int>(object.size()); ++l) {
        const auto& item = std::get<TextItem>(page.items[static_cast<size_t>(object[l])]);
        const std::string& utf8 = item.line->text;
        if (l > 0) {
          folded.text += QChar(kLineBreak);
          folded.line.push_back(-1);
          folded.begin.push_back(0);
          folded.end.push_back(0);
        }
        // Walk the UTF-8 bytes cluster by cluster, keeping each cluster's byte range.
        size_t at = 0;
        while (at < utf8.size()) {
          const auto code_point_end = [&](size_t from) {
            size_t k = from + 1;
            while (k < utf8.size() && (static_cast<unsigned char>(utf8[k]) & 0xC0) == 0x80) ++k;
            return k;
          };
          size_t next = code_point_end(at);
          while (next < utf8.size()) {
            const size_t after = code_point_end(next);
            const QString c = QString::fromUtf8(utf8.data() + next,
                                                static_cast<qsizetype>(after - next));
            if (c.isEmpty() || !BelongsToPrevious(c.toStdU32String().front())) break;
            next = after;
          }
          const QString& f = FoldCluster(
              QString::fromUtf8(utf8.data() + at, static_cast<qsizetype>(next - at)));
          for (qsizetype k = 0; k < f.size(); ++k) {
            folded.line.push_back(l);
            folded.begin.push_back(at);
            folded.end.push_back(next);
          }
          folded.text += f;
          at = next;
        }
      }

      const QString& text = folded.text;
      for (qsizetype start = 0; start < text.size();) {
        const size_t u = static_cast<size_t>(start);
        const bool cluster_start = start == 0 || folded.line[u] != folded.line[u - 1] ||
                                   folded.begin[u] != folded.begin[u - 1];
        if (text[start] == QChar(kLineBreak) || !cluster_start) {
          ++start;  // on a break or inside a cluster: no match starts here
          continue;
        }
        qsizetype i = start, j = 0;
        while (j < query.size() && i < text.size()) {
          if (text[i] == query[j]) {
            ++i;
            ++j;
          } else if (text[i] == QChar(kLineBreak)) {
            if (IsBlank(query[j])) ++j;
            ++i;
          } else {
            break;
          }
        }
        if (j < query.size()) {
          ++start;
          continue;
        }
        TextMatch match{p, {}};
        for (qsizetype k = start; k < i; ++k) {
          const int l = folded.line[static_cast<size_t>(k)];
          if (l < 0) continue;
          const int item = object[static_cast<size_t>(l)];
          const size_t b = folded.begin[static_cast<size_t>(k)];
          const size_t e = folded.end[static_cast<size_t>(k)];
          if (!match.spans.empty() && match.spans.back().item == item) {
            match.spans.back().begin = std::min(match.spans.back().begin, b);
            match.spans.back().end = std::max(match.spans.back().end, e);
          } else {
            match.spans.push_back({item, b, e});
          }
        }
        matches.push_back(std::move(match));
        start = i;
      }
    }
  }
  return matches;
}

}  // namespace re

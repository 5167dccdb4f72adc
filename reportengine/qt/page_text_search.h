// Finding a phrase in prepared pages the way a Japanese user types it: full-width and half-width
// forms, half-width katakana and upper/lower case all match each other (Unicode compatibility
// folding, NFKC, with case folding), and a phrase is found in a text object's whole text even
// where the object wraps it over two lines.
#ifndef REPORTENGINE_QT_PAGE_TEXT_SEARCH_H_
#define REPORTENGINE_QT_PAGE_TEXT_SEARCH_H_

#include <QHash>
#include <QString>

#include <cstddef>
#include <vector>

#include "reportengine/layout/prepared_page.h"

namespace re {

// A part of one text item's line: the bytes [begin, end) of its UTF-8 text.
struct TextSpan {
  int item = 0;  // index into the page's items
  size_t begin = 0;
  size_t end = 0;
};

// One place where the phrase was found: its parts, one per line it lies on, top line first.
struct TextMatch {
  int page = 0;  // 0-based
  std::vector<TextSpan> spans;
};

class PageTextSearch {
 public:
  // Finds every place of `phrase` in `pages`, page by page and object by object, in reading
  // order. Places within one object do not overlap. An empty or blank phrase finds nothing.
  std::vector<TextMatch> Find(const std::vector<PreparedPage>& pages, const QString& phrase);

  // `text` as it is compared: NFKC and case folded.
  QString Fold(const QString& text);

 private:
  // The folded form of one character with the marks that belong to it, remembered because
  // a list repeats the same few hundred characters many thousand times.
  const QString& FoldCluster(const QString& cluster);

  QHash<QString, QString> folded_;  // cluster → folded form
};

// The text objects of `page`: runs of text items one after another that share one box (the
// lines of one object), as lists of item indexes.
std::vector<std::vector<int>> TextObjectsOf(const PreparedPage& page);

}  // namespace re

#endif  // REPORTENGINE_QT_PAGE_TEXT_SEARCH_H_

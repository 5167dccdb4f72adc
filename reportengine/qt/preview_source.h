// What the preview window needs of the engine: the pages, the engine's own file format for
// prepared reports, the PDF export and the engine's error box. The window talks to nothing else,
// so tests drive it with a double of this interface.
#ifndef REPORTENGINE_QT_PREVIEW_SOURCE_H_
#define REPORTENGINE_QT_PREVIEW_SOURCE_H_

#include <optional>
#include <string>
#include <vector>

#include "reportengine/layout/exporter.h"
#include "reportengine/layout/prepared_page.h"

namespace re {

// Receives the pages of a preparation as they are made, on the preparing thread.
class PageStream {
 public:
  virtual ~PageStream() = default;
  // The font table of the pages; comes before the first page.
  virtual void Fonts(const std::vector<FontFace>& fonts) = 0;
  // The next page, final.
  virtual void Page(PreparedPage page) = 0;
};

class PreviewSource {
 public:
  virtual ~PreviewSource() = default;

  // True when PrepareInSteps may be called on a thread other than the window's, so that the
  // window shows the first page while the rest are still being made.
  virtual bool PreparesInSteps() const { return false; }

  // Builds the pages anew like Prepare, handing each to `stream` as soon as it is final. Runs on
  // a thread of its own while the window stays responsive; touches nothing of the window's.
  // Returns the complete font table (a face first met on the way is only in this one). Errors
  // found on the way are not shown here: the window calls EndPreparation on its own thread
  // afterwards.
  virtual std::vector<FontFace> PrepareInSteps(PageStream& stream) {
    PreparedReport report = Prepare();
    stream.Fonts(report.fonts);
    for (PreparedPage& page : report.pages) stream.Page(std::move(page));
    return report.fonts;
  }
  // Shows the error box of the last PrepareInSteps, if it found errors; the window's thread.
  virtual void EndPreparation() {}

  // Builds the pages anew, discarding earlier ones. Errors found on the way have already been
  // shown in the engine's error box when this returns; the pages built so far are returned.
  virtual PreparedReport Prepare() = 0;

  // Writes `report` in the engine's own format to `path`, replacing a file of that name whole
  // or leaving it as it was. Returns false with a message in *error on failure.
  virtual bool Save(const PreparedReport& report, const std::string& path, std::string* error) = 0;

  // Reads a file written by Save. Returns nothing, with a message in *error, when it cannot.
  virtual std::optional<PreparedReport> Load(const std::string& path, std::string* error) = 0;

  // Writes `report` as a PDF file at `path`. Returns true when it was written completely;
  // otherwise the engine's error box has shown why and any earlier file is unchanged.
  virtual bool ExportPdf(const PreparedReport& report, const std::string& path,
                         ExportProgress* progress) = 0;

  // Shows `errors` in the engine's error box (nothing when empty).
  virtual void ShowErrors(const std::vector<std::string>& errors) = 0;
};

}  // namespace re

#endif  // REPORTENGINE_QT_PREVIEW_SOURCE_H_

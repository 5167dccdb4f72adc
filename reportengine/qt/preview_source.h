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

class PreviewSource {
 public:
  virtual ~PreviewSource() = default;

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

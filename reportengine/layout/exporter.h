// The seams between a prepared report and what consumes it: exporters (the PDF writer), the
// progress display during an export, and the error box that shows what an operation collected.
#ifndef REPORTENGINE_LAYOUT_EXPORTER_H_
#define REPORTENGINE_LAYOUT_EXPORTER_H_

#include <string>
#include <vector>

#include "reportengine/layout/prepared_page.h"

namespace re {

// Told about every page an exporter has written. A window implementation shows a page counter
// and processes pending window events in PageWritten; headless runs pass none.
class ExportProgress {
 public:
  virtual ~ExportProgress() = default;
  virtual void Started(int page_count) = 0;
  virtual void PageWritten(int page_number) = 0;  // 1-based
  virtual void Finished() = 0;
};

// Writes a prepared report somewhere (a PDF file). Implementations never throw.
class Exporter {
 public:
  virtual ~Exporter() = default;
  // Returns true when the output was written completely. On failure appends one or more error
  // texts to *errors and leaves any earlier output exactly as it was.
  virtual bool Export(const PreparedReport& report, ExportProgress* progress,
                      std::vector<std::string>* errors) = 0;
};

// Shows the collected errors of an operation: caption "Error", the text
// "The following error(s) have occured:" and one line per error (the engine builds the text).
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_EXPORTER_H_

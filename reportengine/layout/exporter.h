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

// An exporter that can also take the pages one at a time while they are being prepared, so that
// a long list never has all its pages in memory. Begin, then AddPage for every page in order,
// then Finish (or Abandon at any point; the target is then as it was).
class PageStreamExporter : public Exporter {
 public:
  // Starts the output for a report with the font table `fonts` (complete before the first
  // page). Returns false with error texts appended to *errors when the output cannot be started.
  virtual bool Begin(const std::vector<FontFace>& fonts, std::vector<std::string>* errors) = 0;
  // Loads what the font table needs ahead of the first page; called on the thread that writes
  // the pages, before its first AddPage, while that page is still being laid out. A font that
  // cannot be loaded fails only the page that uses it, as without this call.
  virtual void LoadFonts() {}
  // Gets ready for a text that a page being laid out shows (its glyphs' metrics, say); called on
  // the thread that writes the pages while it waits for the first one. Changes no output.
  virtual void Foresee(const ShapedLine& /*line*/) {}
  // Writes one page. Returns false once the output has failed; Finish then says why.
  virtual bool AddPage(const PreparedPage& page) = 0;
  // Completes the output (a report without pages gets one blank page). Returns true when it
  // was written completely; else appends error texts and leaves any earlier output as it was.
  virtual bool Finish(std::vector<std::string>* errors) = 0;
  // Drops the output begun; any earlier output stays as it was.
  virtual void Abandon() = 0;
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

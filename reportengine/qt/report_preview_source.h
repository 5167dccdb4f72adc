// PreviewSource over a re::Report: the preview prepares through the report (whose error box
// shows what went wrong), saves and opens prepared reports in the engine's file format, and
// exports through a PDF exporter that the caller configures.
#ifndef REPORTENGINE_QT_REPORT_PREVIEW_SOURCE_H_
#define REPORTENGINE_QT_REPORT_PREVIEW_SOURCE_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "reportengine/layout/exporter.h"
#include "reportengine/qt/preview_source.h"

namespace re {

class Report;

// Makes the exporter that writes a PDF file at `path`, or nullptr when there is none. Left
// empty, the engine's PdfExporter with its default settings is used.
using PdfExporterFactory = std::function<std::unique_ptr<Exporter>(const std::string& path)>;

class ReportPreviewSource : public PreviewSource {
 public:
  // `report` must outlive this object. `errors` shows failures of save and open; it may be
  // null, then they are only returned.
  ReportPreviewSource(Report& report, ErrorReporter* errors, PdfExporterFactory pdf);

  PreparedReport Prepare() override;
  bool PreparesInSteps() const override { return true; }
  // The report's own pages are those handed out, once all are made.
  std::vector<FontFace> PrepareInSteps(PageStream& stream) override;
  void EndPreparation() override;
  // Whether the last Prepare succeeded (true before the first).
  bool prepared_ok() const { return prepared_ok_; }
  bool Save(const PreparedReport& report, const std::string& path, std::string* error) override;
  std::optional<PreparedReport> Load(const std::string& path, std::string* error) override;
  // The report takes over `pages` (what the window shows) before it exports them.
  bool ExportPdf(const PreparedReport& pages, const std::string& path,
                 ExportProgress* progress) override;
  void ShowErrors(const std::vector<std::string>& errors) override;

 private:
  Report& report_;             // the report being previewed
  ErrorReporter* errors_;      // the engine's error box; may be null
  PdfExporterFactory pdf_;     // may be empty: the default PdfExporter
  bool prepared_ok_ = true;    // the last Prepare succeeded
  // The error box of the last PrepareInSteps, held for EndPreparation: caption and text.
  std::vector<std::pair<std::string, std::string>> held_errors_;
};

}  // namespace re

#endif  // REPORTENGINE_QT_REPORT_PREVIEW_SOURCE_H_

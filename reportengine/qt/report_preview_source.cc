#include "reportengine/qt/report_preview_source.h"

#include <algorithm>

#include "reportengine/model/error_list.h"
#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/layout/prepared_report_file.h"
#include "reportengine/qt/preview_texts.h"
#include "reportengine/layout/report.h"
#include "reportengine/model/report_texts.h"

namespace re {

ReportPreviewSource::ReportPreviewSource(Report& report, ErrorReporter* errors,
                                         PdfExporterFactory pdf)
    : report_(report), errors_(errors), pdf_(std::move(pdf)) {}

PreparedReport ReportPreviewSource::Prepare() {
  prepared_ok_ = report_.PrepareReport(true);
  return report_.prepared();
}

bool ReportPreviewSource::Save(const PreparedReport& report, const std::string& path,
                               std::string* error) {
  return SavePreparedReport(report, path, error);
}

std::optional<PreparedReport> ReportPreviewSource::Load(const std::string& path,
                                                        std::string* error) {
  return LoadPreparedReport(path, error);
}

bool ReportPreviewSource::ExportPdf(const PreparedReport& pages, const std::string& path,
                                    ExportProgress* progress) {
  std::unique_ptr<Exporter> exporter;
  if (pdf_) {
    exporter = pdf_(path);
  } else {
    auto pdf = std::make_unique<PdfExporter>();
    pdf->FileName = path;
    exporter = std::move(pdf);
  }
  if (!exporter) {
    ShowErrors({preview::kNoPdfExporter});
    return false;
  }
  report_.SetPrepared(pages);
  return report_.Export(*exporter, progress);
}

void ReportPreviewSource::ShowErrors(const std::vector<std::string>& errors) {
  if (errors.empty() || !errors_) return;
  std::vector<std::string> sorted = errors;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  errors_->ShowError(kErrorBoxCaption, ErrorBoxText(sorted));
}

}  // namespace re

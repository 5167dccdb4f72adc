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

namespace {

// Takes the pages of Report::PrepareAndExport, which hands them out one by one as they are made,
// to the window's stream, keeping a copy for the report.
class PageCollector final : public PageStreamExporter {
 public:
  explicit PageCollector(PageStream& stream) : stream_(stream) {}
  bool Export(const PreparedReport&, ExportProgress*, std::vector<std::string>*) override {
    return false;  // only ever streamed
  }
  bool Begin(const std::vector<FontFace>& fonts, std::vector<std::string>*) override {
    stream_.Fonts(fonts);
    return true;
  }
  bool AddPage(const PreparedPage& page) override {
    pages_.push_back(page);
    stream_.Page(page);
    return true;
  }
  bool Finish(std::vector<std::string>*) override { return true; }
  void Abandon() override {}  // the pages made so far are still shown

  std::vector<PreparedPage> TakePages() { return std::move(pages_); }

 private:
  PageStream& stream_;
  std::vector<PreparedPage> pages_;
};

// Holds the report's error box off the preparing thread; it is shown later on the window's.
class HeldErrors final : public ErrorReporter {
 public:
  explicit HeldErrors(std::vector<std::pair<std::string, std::string>>& held) : held_(held) {}
  void ShowError(const std::string& caption, const std::string& text) override {
    held_.emplace_back(caption, text);
  }

 private:
  std::vector<std::pair<std::string, std::string>>& held_;
};

}  // namespace

std::vector<FontFace> ReportPreviewSource::PrepareInSteps(PageStream& stream) {
  held_errors_.clear();
  ErrorReporter* const box = report_.error_reporter();
  HeldErrors held(held_errors_);
  report_.set_error_reporter(&held);
  PageCollector collector(stream);
  try {
    prepared_ok_ = report_.PrepareAndExport(collector);
  } catch (...) {
    report_.set_error_reporter(box);
    throw;
  }
  report_.set_error_reporter(box);
  // The report keeps the pages, as after PrepareReport: export and save start from them.
  report_.SetPrepared(PreparedReport{report_.prepared().fonts, collector.TakePages()});
  return report_.prepared().fonts;
}

void ReportPreviewSource::EndPreparation() {
  std::vector<std::pair<std::string, std::string>> held = std::move(held_errors_);
  held_errors_.clear();
  if (ErrorReporter* box = report_.error_reporter()) {
    for (const auto& [caption, text] : held) box->ShowError(caption, text);
  }
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

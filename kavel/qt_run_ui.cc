#include "kavel/qt_run_ui.h"

#include <QMessageBox>
#include <QString>

#include <iostream>
#include <memory>
#include <utility>

#include "kavel/texts.h"
#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/qt/export_progress_dialog.h"
#include "reportengine/qt/qt_previewer.h"
#include "reportengine/layout/report.h"

namespace kavel {

QtRunUi::QtRunUi(QWidget* parent) : parent_(parent) {}

QtRunUi::~QtRunUi() = default;

void QtRunUi::ShowError(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, parent_);
  box.exec();
}

re::ExportProgress* QtRunUi::ExportProgress() {
  if (!progress_) progress_ = std::make_unique<re::ExportProgressDialog>(parent_);
  return progress_.get();
}

void QtRunUi::Preview(re::Report& report) {
  // The preview's export button writes with the same settings as the run's own exports.
  re::QtPreviewer previewer(parent_, this, [](const std::string& path) {
    auto exporter = std::make_unique<re::PdfExporter>();
    exporter->FileName = path;
    return std::unique_ptr<re::Exporter>(std::move(exporter));
  });
  report.set_previewer(&previewer);
  report.ShowReport(true);
  report.set_previewer(nullptr);
}

void QtRunUi::ShowFatal(const std::string& text) {
  std::cerr << kStderrPrefix << text << '\n' << std::flush;
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kFatalBoxCaption),
                  QString::fromStdString(text), QMessageBox::Ok, parent_);
  box.exec();
}

}  // namespace kavel

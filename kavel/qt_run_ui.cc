#include "kavel/qt_run_ui.h"

#include <QMessageBox>
#include <QString>

#include <memory>
#include <utility>

#include "kavel/console_ui.h"
#include "kavel/texts.h"
#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/qt/export_progress_dialog.h"
#include "reportengine/qt/qt_previewer.h"
#include "reportengine/layout/report.h"

namespace kavel {

QtRunUi::QtRunUi(QWidget* parent, ConsoleUi& console) : parent_(parent), console_(console) {}

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

// A note needs no box: the line on standard error is all a run without windows shows either.
void QtRunUi::ShowNote(const std::string& text) { console_.ShowNote(text); }

void QtRunUi::ShowFatal(const std::string& text) {
  console_.ShowFatal(text);
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kFatalBoxCaption),
                  QString::fromStdString(text), QMessageBox::Ok, parent_);
  box.exec();
}

}  // namespace kavel

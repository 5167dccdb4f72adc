#include "reportengine/qt/preview_dialogs.h"

#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPageLayout>
#include <QPrinter>

#include "reportengine/layout/prepared_report_file.h"
#include "reportengine/qt/preview_texts.h"

using namespace re::preview;  // NOLINT: the window's own texts and numbers

namespace re {
namespace {

QString PreparedFilter() {
  return QString::fromUtf8(kPreparedFilterFormat).arg(QString::fromUtf8(kPreparedReportExtension));
}

// Adds `extension` when the user typed a name without it, as the filter promises.
QString WithExtension(QString path, const char* extension) {
  if (!path.isEmpty() && !path.endsWith(QString::fromUtf8(extension), Qt::CaseInsensitive)) {
    path += QString::fromUtf8(extension);
  }
  return path;
}

}  // namespace

QString QtPreviewDialogs::OpenFileName(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QString::fromUtf8(kOpenCaption), QString(),
                                      PreparedFilter());
}

QString QtPreviewDialogs::SaveFileName(QWidget* parent) {
  return WithExtension(QFileDialog::getSaveFileName(parent, QString::fromUtf8(kSaveCaption),
                                                    QString(), PreparedFilter()),
                       kPreparedReportExtension);
}

QString QtPreviewDialogs::ExportFileName(QWidget* parent) {
  return WithExtension(QFileDialog::getSaveFileName(parent, QString::fromUtf8(kExportCaption),
                                                    QString(), QString::fromUtf8(kPdfFilter)),
                       kPdfExtension);
}

bool QtPreviewDialogs::Print(QWidget* parent, QPrinter& printer, int page_count,
                             PrintJobSettings* job) {
  QPrintDialog dialog(&printer, parent);
  dialog.setMinMax(1, page_count);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
  if (dialog.exec() != QDialog::Accepted) return false;
  job->printer = printer.printerName().toStdString();
  using Sides = PrintJobSettings::Sides;
  switch (printer.duplex()) {
    case QPrinter::DuplexLongSide: job->sides = Sides::kTwoSidedLongEdge; break;
    case QPrinter::DuplexShortSide: job->sides = Sides::kTwoSidedShortEdge; break;
    case QPrinter::DuplexAuto:
      job->sides = printer.pageLayout().orientation() == QPageLayout::Landscape
                       ? Sides::kTwoSidedShortEdge
                       : Sides::kTwoSidedLongEdge;
      break;
    default: job->sides = Sides::kOneSided;
  }
  return true;
}

bool QtPreviewDialogs::PageSetup(QWidget* parent, QPrinter& printer) {
  QPageSetupDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace re

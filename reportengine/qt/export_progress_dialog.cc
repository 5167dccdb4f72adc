#include "reportengine/qt/export_progress_dialog.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include "reportengine/qt/preview_texts.h"

using namespace re::preview;  // NOLINT: the window's own texts and numbers

namespace re {

ExportProgressDialog::ExportProgressDialog(QWidget* parent) : parent_(parent) {}

ExportProgressDialog::~ExportProgressDialog() = default;

void ExportProgressDialog::Started(int page_count) {
  page_count_ = page_count;
  dialog_ = std::make_unique<QProgressDialog>(parent_);
  dialog_->setWindowTitle(QString::fromUtf8(kProgressCaption));
  dialog_->setCancelButton(nullptr);  // an export runs to its end
  dialog_->setRange(0, page_count);
  dialog_->setMinimumDuration(0);
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setLabelText(QString::fromUtf8(kProgressFormat).arg(0).arg(page_count));
  dialog_->show();
  QCoreApplication::processEvents();
}

void ExportProgressDialog::PageWritten(int page_number) {
  if (!dialog_) return;
  dialog_->setValue(page_number);
  dialog_->setLabelText(QString::fromUtf8(kProgressFormat).arg(page_number).arg(page_count_));
  QCoreApplication::processEvents();
}

void ExportProgressDialog::Finished() { dialog_.reset(); }

PrintProgressDialog::PrintProgressDialog(QWidget* parent)
    : dialog_(std::make_unique<QProgressDialog>(parent)) {
  dialog_->setObjectName(QStringLiteral("printProgress"));
  dialog_->setWindowTitle(QString::fromUtf8(kPrintProgressCaption));
  dialog_->setCancelButtonText(QString::fromUtf8(kPrintCancel));
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setMinimumDuration(0);
  dialog_->setWindowModality(Qt::WindowModal);
  QObject::connect(dialog_.get(), &QProgressDialog::canceled, [this] { cancelled_ = true; });
}

PrintProgressDialog::~PrintProgressDialog() = default;

void PrintProgressDialog::Started(int page_count) {
  page_count_ = page_count;
  dialog_->setRange(0, page_count);
  dialog_->setValue(0);
  dialog_->setLabelText(QString::fromUtf8(kPrintPreparingFormat).arg(0).arg(page_count));
  dialog_->show();
  QCoreApplication::processEvents();
}

void PrintProgressDialog::PageWritten(int page_number) {
  if (cancelled_) return;
  dialog_->setValue(page_number);
  dialog_->setLabelText(
      QString::fromUtf8(kPrintPreparingFormat).arg(page_number).arg(page_count_));
  QCoreApplication::processEvents();
}

void PrintProgressDialog::Sending(const QString& printer) {
  if (cancelled_) return;
  dialog_->setRange(0, 1000);
  dialog_->setValue(0);
  dialog_->setLabelText(QString::fromUtf8(kPrintSendingFormat).arg(printer));
  dialog_->show();
}

void PrintProgressDialog::Sent(int permille) {
  if (!cancelled_) dialog_->setValue(permille);
}

}  // namespace re

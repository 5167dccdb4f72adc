// The engine's progress window for an export: a page counter that stays live while pages are
// written, because it lets the window system handle pending events after every page.
#ifndef REPORTENGINE_QT_EXPORT_PROGRESS_DIALOG_H_
#define REPORTENGINE_QT_EXPORT_PROGRESS_DIALOG_H_

#include <memory>

#include "reportengine/layout/exporter.h"

class QProgressDialog;
class QString;
class QWidget;

namespace re {

class ExportProgressDialog : public ExportProgress {
 public:
  // The window opens on Started and closes on Finished (or when this object goes away).
  explicit ExportProgressDialog(QWidget* parent);
  ~ExportProgressDialog() override;
  ExportProgressDialog(const ExportProgressDialog&) = delete;
  ExportProgressDialog& operator=(const ExportProgressDialog&) = delete;

  void Started(int page_count) override;
  void PageWritten(int page_number) override;
  void Finished() override;

 private:
  QWidget* parent_;                          // owner window of the progress window
  std::unique_ptr<QProgressDialog> dialog_;  // open between Started and Finished
  int page_count_ = 0;
};

// The progress window of printing: first the pages written into the print file, then the
// sending to the printer, with a cancel button throughout. It is window-modal, so the preview
// keeps drawing and stays movable while it is open.
class PrintProgressDialog : public ExportProgress {
 public:
  explicit PrintProgressDialog(QWidget* parent);
  ~PrintProgressDialog() override;
  PrintProgressDialog(const PrintProgressDialog&) = delete;
  PrintProgressDialog& operator=(const PrintProgressDialog&) = delete;

  // Writing the print file.
  void Started(int page_count) override;
  void PageWritten(int page_number) override;
  void Finished() override {}
  // Sending it to `printer`; `permille` of the file has gone.
  void Sending(const QString& printer);
  void Sent(int permille);
  // The user pressed cancel.
  bool cancelled() const { return cancelled_; }
  QProgressDialog* dialog() const { return dialog_.get(); }

 private:
  std::unique_ptr<QProgressDialog> dialog_;  // open for the whole print
  int page_count_ = 0;
  bool cancelled_ = false;                   // set by the cancel button
};

}  // namespace re

#endif  // REPORTENGINE_QT_EXPORT_PROGRESS_DIALOG_H_

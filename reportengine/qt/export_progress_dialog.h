// The engine's progress window for an export: a page counter that stays live while pages are
// written, because it lets the window system handle pending events after every page.
#ifndef REPORTENGINE_QT_EXPORT_PROGRESS_DIALOG_H_
#define REPORTENGINE_QT_EXPORT_PROGRESS_DIALOG_H_

#include <memory>

#include "reportengine/layout/exporter.h"

class QProgressDialog;
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

}  // namespace re

#endif  // REPORTENGINE_QT_EXPORT_PROGRESS_DIALOG_H_

// The dialogs the preview window opens for the user: file choice, print and page settings.
// Behind an interface so tests answer them without a user; QtPreviewDialogs opens the real ones.
#ifndef REPORTENGINE_QT_PREVIEW_DIALOGS_H_
#define REPORTENGINE_QT_PREVIEW_DIALOGS_H_

#include <QString>

#include "reportengine/qt/cups_printer.h"

class QPrinter;
class QWidget;

namespace re {

class PreviewDialogs {
 public:
  virtual ~PreviewDialogs() = default;
  // Each returns the chosen file path, or an empty text when the user cancelled.
  virtual QString OpenFileName(QWidget* parent) = 0;
  virtual QString SaveFileName(QWidget* parent) = 0;
  virtual QString ExportFileName(QWidget* parent) = 0;
  // The system print dialog on `printer` for a report of `page_count` pages. Returns true when
  // the user chose to print; the printer then carries the chosen range and copies, and `job`
  // the chosen printer (a CUPS queue name or an ipp:// address; empty for the default) and
  // sides.
  virtual bool Print(QWidget* parent, QPrinter& printer, int page_count,
                     PrintJobSettings* job) = 0;
  // The page settings dialog on `printer`. Returns true when the user accepted new settings.
  virtual bool PageSetup(QWidget* parent, QPrinter& printer) = 0;
};

class QtPreviewDialogs : public PreviewDialogs {
 public:
  QString OpenFileName(QWidget* parent) override;
  QString SaveFileName(QWidget* parent) override;
  QString ExportFileName(QWidget* parent) override;
  bool Print(QWidget* parent, QPrinter& printer, int page_count, PrintJobSettings* job) override;
  bool PageSetup(QWidget* parent, QPrinter& printer) override;
};

}  // namespace re

#endif  // REPORTENGINE_QT_PREVIEW_DIALOGS_H_

// The engine's preview window behind re::Previewer: Report::ShowReport opens it through Show,
// modal and maximised; the window prepares the report itself shortly after it has opened.
//
// Typical use (with a display):
//   re::QtPreviewer previewer(main_window, &error_box, [](const std::string& path) {
//     return MakePdfExporter(path);  // the program's PDF settings
//   });
//   report.set_previewer(&previewer);
//   report.ShowReport(true);
#ifndef REPORTENGINE_QT_QT_PREVIEWER_H_
#define REPORTENGINE_QT_QT_PREVIEWER_H_

#include "reportengine/qt/preview_window.h"
#include "reportengine/qt/report_preview_source.h"
#include "reportengine/layout/report.h"

class QWidget;

namespace re {

class QtPreviewer : public Previewer {
 public:
  // `parent` (may be null) owns the window while it is open; `errors` (may be null) is the
  // engine's error box for save and open failures. `pdf` makes the exporter behind the export
  // button (empty: the engine's PdfExporter with its defaults).
  QtPreviewer(QWidget* parent, ErrorReporter* errors, PdfExporterFactory pdf = {},
              PrintOptions print = {});

  // Opens the window for `report` and returns when the user has closed it: false when the
  // window's preparation of the report failed. Without a running Qt application that can show
  // windows it writes one line to standard error and returns true.
  bool Show(Report& report) override;

 private:
  QWidget* parent_;
  ErrorReporter* errors_;
  PdfExporterFactory pdf_;
  PrintOptions print_;
};

// True when a window can be shown: a QApplication runs on a platform with a screen.
bool CanShowWindows();

}  // namespace re

#endif  // REPORTENGINE_QT_QT_PREVIEWER_H_

#include "reportengine/qt/qt_previewer.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>

#include "reportengine/qt/preview_dialogs.h"
#include "reportengine/qt/preview_texts.h"

namespace re {

bool CanShowWindows() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
         QGuiApplication::primaryScreen() != nullptr;
}

QtPreviewer::QtPreviewer(QWidget* parent, ErrorReporter* errors, PdfExporterFactory pdf,
                         PrintOptions print)
    : parent_(parent), errors_(errors), pdf_(std::move(pdf)), print_(std::move(print)) {}

void QtPreviewer::Show(Report& report) {
  if (!CanShowWindows()) {
    std::fprintf(stderr, "%s\n", preview::kNoDisplayMessage);
    return;
  }
  ReportPreviewSource source(report, errors_, pdf_);
  QtPreviewDialogs dialogs;
  PreviewOptions options;
  options.zoom = report.layout().preview_zoom;
  options.buttons = report.layout().preview_buttons;
  PreviewWindow window(source, dialogs, options, print_, parent_);
  window.Run();
}

}  // namespace re

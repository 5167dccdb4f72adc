#include "reportengine/qt/qt_previewer.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

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

bool QtPreviewer::Show(Report& report) {
  if (!CanShowWindows()) {
    std::fprintf(stderr, "%s\n", preview::kNoDisplayMessage);
    return true;
  }
  // Qt's own dialogs (print, page settings, files) speak Japanese like the window around them.
  QTranslator qt_texts;
  const bool translated = qt_texts.load(QString::fromUtf8(preview::kQtTranslation),
                                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                          QCoreApplication::installTranslator(&qt_texts);
  ReportPreviewSource source(report, errors_, pdf_);
  QtPreviewDialogs dialogs;
  PreviewOptions options;
  options.zoom = report.layout().preview_zoom;
  options.buttons = report.layout().preview_buttons;
  options.margins = report.layout().page.margins;
  PreviewWindow window(source, dialogs, options, print_, parent_);
  window.Run();
  if (translated) QCoreApplication::removeTranslator(&qt_texts);
  return source.prepared_ok();
}

}  // namespace re

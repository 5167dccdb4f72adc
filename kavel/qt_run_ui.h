// RunUi with Qt windows: the engine's error box as a modal message box (caption "Error", error
// icon), the engine's progress window with a page counter during an export, the engine's
// preview window, and a message box (plus a line on standard error) when the run has to stop.
// Its lines on standard error go through the program's ConsoleUi.
#ifndef KAVEL_QT_RUN_UI_H_
#define KAVEL_QT_RUN_UI_H_

#include <memory>
#include <string>

#include "kavel/run_ui.h"

class QWidget;

namespace kavel {

class ConsoleUi;

class QtRunUi : public RunUi {
 public:
  // `parent` (the main window) owns the windows shown; it and `console` must outlive this
  // object.
  QtRunUi(QWidget* parent, ConsoleUi& console);
  ~QtRunUi() override;

  void ShowError(const std::string& caption, const std::string& text) override;
  re::ExportProgress* ExportProgress() override;
  void Preview(re::Report& report) override;
  void ShowNote(const std::string& text) override;
  void ShowFatal(const std::string& text) override;

 private:
  QWidget* parent_;                               // owner of the message boxes
  ConsoleUi& console_;                            // standard error
  std::unique_ptr<re::ExportProgress> progress_;  // made on first export
};

}  // namespace kavel

#endif  // KAVEL_QT_RUN_UI_H_

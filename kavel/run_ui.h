// What a Kavel run needs from a user interface: the engine's error box, a progress display
// during an export, the preview window, a line for what needs no window, and a way to tell the
// user that the run had to stop. Everything the user learns from a run goes through it: the run
// itself never writes to standard error. The Qt windows implement it when there is a display,
// plain standard error when there is none (ConsoleUi), and tests replace it with a recording fake.
#ifndef KAVEL_RUN_UI_H_
#define KAVEL_RUN_UI_H_

#include <string>

#include "reportengine/layout/exporter.h"

namespace re {
class Report;
}

namespace kavel {

class RunUi : public re::ErrorReporter {
 public:
  ~RunUi() override = default;

  // ShowError (from re::ErrorReporter): the engine's error box, caption and text as the engine
  // built them. Returns when the user has acknowledged it.

  // The progress display for an export, or nullptr when there is none to show.
  virtual re::ExportProgress* ExportProgress() = 0;

  // Prepares `report` (discarding earlier pages) and shows it in the preview window; returns when
  // the user has closed the window, or at once when no window can be shown.
  virtual void Preview(re::Report& report) = 0;

  // Something the user should learn that needs no window and no answer (an export that failed
  // in a way the engine did not report); the run goes on.
  virtual void ShowNote(const std::string& text) = 0;

  // The run stops because `text` happened where it cannot go on (Pdf.log or user.ini cannot be
  // written). Returns when the user has acknowledged it.
  virtual void ShowFatal(const std::string& text) = 0;
};

}  // namespace kavel

#endif  // KAVEL_RUN_UI_H_

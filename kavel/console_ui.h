// The user interface of a run without a display server: no windows at all. The engine's error
// box and the run's own messages go to standard error, one "Kavel: " line each; an export shows
// no progress; a preview cannot be shown and says so in one line. It is the one place of Kavel
// that writes to standard error: a run with windows hands it the lines it shows no box for.
#ifndef KAVEL_CONSOLE_UI_H_
#define KAVEL_CONSOLE_UI_H_

#include <ostream>
#include <string>

#include "kavel/run_ui.h"

namespace kavel {

class ConsoleUi : public RunUi {
 public:
  // `err` (standard error in the program) must outlive the object.
  explicit ConsoleUi(std::ostream& err);

  void ShowError(const std::string& caption, const std::string& text) override;
  re::ExportProgress* ExportProgress() override { return nullptr; }
  void Preview(re::Report& report) override;
  void ShowNote(const std::string& text) override;
  void ShowFatal(const std::string& text) override;

 private:
  std::ostream& err_;  // where every message goes
};

}  // namespace kavel

#endif  // KAVEL_CONSOLE_UI_H_

// A run with a display: the Qt application, the hidden main window TfrmMain, the engine's error
// box as a modal message box, a progress window during an export, and the preview window.
#ifndef KAVEL_WINDOW_RUN_H_
#define KAVEL_WINDOW_RUN_H_

#include <string>
#include <vector>

namespace kavel {

// Runs the whole flow with windows and returns when the main window has closed. `argc`/`argv`
// go to QApplication; `arguments` are the run's arguments as taken before.
void RunWithWindow(int argc, char** argv, const std::vector<std::string>& arguments);

}  // namespace kavel

#endif  // KAVEL_WINDOW_RUN_H_

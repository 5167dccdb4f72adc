// A run with a display: the Qt application, the hidden main window TfrmMain, the engine's error
// box as a modal message box, a progress window during an export, and the preview window.
//
// It lives in its own module (kavel_window.so) that the program loads only when there is a
// display, so that runs without one never load Qt at all.
#ifndef KAVEL_WINDOW_RUN_H_
#define KAVEL_WINDOW_RUN_H_

#include <string>
#include <vector>

namespace kavel {

// Runs the whole flow with windows and returns when the main window has closed. `argc`/`argv`
// go to QApplication; `arguments` are the run's arguments as taken before.
void RunWithWindow(int argc, char** argv, const std::vector<std::string>& arguments);

// The module's entry point, looked up by the name kWindowEntryName: RunWithWindow.
using WindowEntry = void (*)(int argc, char** argv, const std::vector<std::string>* arguments);
inline constexpr char kWindowEntryName[] = "KavelRunWithWindow";

}  // namespace kavel

#endif  // KAVEL_WINDOW_RUN_H_

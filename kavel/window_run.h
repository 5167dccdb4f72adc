// A run with a display: the Qt application, the hidden main window TfrmMain, the engine's error
// box as a modal message box, a progress window during an export, and the preview window.
//
// It lives in its own module (kavel_window.so) that the program loads only when a display
// server answers, so that runs without one never load Qt at all.
#ifndef KAVEL_WINDOW_RUN_H_
#define KAVEL_WINDOW_RUN_H_

#include <string>
#include <vector>

#include "common/env.h"

namespace kavel {

class ConsoleUi;

// What the program hands the module: the run's arguments as taken before Qt saw the command
// line, the run's context, and standard error for what the windows show no box for. All three
// belong to the program and outlive the run.
struct WindowRunContext {
  const std::vector<std::string>* arguments;
  common::Env* env;
  ConsoleUi* console;
};

// Runs the whole flow with windows and returns when the main window has closed. `argc`/`argv`
// go to QApplication.
void RunWithWindow(int argc, char** argv, const WindowRunContext& context);

// The module's entry point, looked up by the name kWindowEntryName. `wayland` and `x11` say
// which display servers answered. Picks Qt's platform plugin for one that answered and runs
// RunWithWindow; returns false, having run nothing, when no installed plugin fits (the program
// then runs without windows instead of letting Qt abort).
using WindowEntry = bool (*)(int argc, char** argv, const WindowRunContext* context, bool wayland,
                             bool x11);
inline constexpr char kWindowEntryName[] = "KavelRunWithWindow";

}  // namespace kavel

#endif  // KAVEL_WINDOW_RUN_H_

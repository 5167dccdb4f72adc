// Kavel: Kavel caption database-path kind variant
//
// Writes one of the check-result lists as a PDF file into the program folder (or previews it)
// and ends. Without a display server it runs without any window. The exit code is always 0: the
// main application learns the outcome from user.ini and Pdf.log.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "kavel/console_ui.h"
#include "kavel/run_flow.h"
#include "kavel/texts.h"
#ifdef KAVEL_WITH_QT
#include "kavel/window_run.h"
#endif

namespace {

int RunWithoutDisplay(const std::vector<std::string>& arguments) {
  kavel::ConsoleUi ui(std::cerr);
  kavel::RunFlow flow(ui);
  flow.FormCreate(arguments);
  flow.FormShow();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Taken before Qt sees the command line: it would remove arguments it takes for its own.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  try {
#ifdef KAVEL_WITH_QT
    if (kavel::HasDisplay()) {
      kavel::RunWithWindow(argc, argv, arguments);
      return 0;
    }
#endif
    RunWithoutDisplay(arguments);
  } catch (const std::exception& e) {
    std::cerr << kavel::kStderrPrefix << e.what() << '\n';
  } catch (...) {
    std::cerr << kavel::kStderrPrefix << "unknown error\n";
  }
  return 0;
}

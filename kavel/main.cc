// Kavel: Kavel caption database-path kind variant
//
// Writes one of the check-result lists as a PDF file into the program folder (or previews it)
// and ends. When no display server answers it runs without any window and without loading Qt.
// The exit code is always 0: the main application learns the outcome from user.ini and Pdf.log.
#include <dlfcn.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "common/display_probe.h"
#include "common/pending_file.h"
#include "common/program_folder.h"
#include "kavel/console_ui.h"
#include "kavel/run_flow.h"
#include "kavel/texts.h"
#include "kavel/window_run.h"

namespace {

void RunWithoutDisplay(const std::vector<std::string>& arguments) {
  kavel::ConsoleUi ui(std::cerr);
  kavel::RunFlow flow(ui);
  flow.FormCreate(arguments);
  flow.FormShow();
}

// Loads the window module from beside the real program file and runs with windows. Returns
// false when the module cannot be loaded (with dlerror's text in *error) or finds no Qt platform
// for the displays that answered (*error empty). The module is never unloaded, since Qt leaves
// exit handlers in it.
bool RunWithWindowModule(int argc, char** argv, const std::vector<std::string>& arguments,
                         const common::Displays& displays, std::string* error) {
  const std::string path = common::ProgramFileFolder() + kavel::kWindowModuleFile;
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    *error = ::dlerror();
    return false;
  }
  auto entry = reinterpret_cast<kavel::WindowEntry>(::dlsym(module, kavel::kWindowEntryName));
  if (entry == nullptr) {
    *error = ::dlerror();
    return false;
  }
  return entry(argc, argv, &arguments, displays.wayland, displays.x11);
}

}  // namespace

int main(int argc, char** argv) {
  // Taken before Qt sees the command line: it would remove arguments it takes for its own.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  common::RemoveStaleTemporariesOfProgramFolder();
  try {
    const common::Displays displays = common::ProbeDisplays();
    if (displays.any()) {
      std::string error;
      if (RunWithWindowModule(argc, argv, arguments, displays, &error)) return 0;
      if (!error.empty()) {
        std::cerr << kavel::kStderrPrefix << kavel::kNoWindowModule << error << '\n';
      }
    }
    RunWithoutDisplay(arguments);
  } catch (const std::exception& e) {
    std::cerr << kavel::kStderrPrefix << e.what() << '\n';
  } catch (...) {
    std::cerr << kavel::kStderrPrefix << kavel::kUnknownError << '\n';
  }
  return 0;
}

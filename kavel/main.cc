// Kavel: Kavel caption database-path kind variant
//
// Writes one of the check-result lists as a PDF file into the program folder (or previews it)
// and ends. Without a display server it runs without any window and without loading Qt. The exit
// code is always 0: the main application learns the outcome from user.ini and Pdf.log.
#include <dlfcn.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

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

// Loads the window module (beside the program, else where the build put it) and runs with
// windows. Returns false, with dlerror's text in *error, when no module can be loaded; the
// module is never unloaded, since Qt leaves exit handlers in it.
bool RunWithWindowModule(int argc, char** argv, const std::vector<std::string>& arguments,
                         std::string* error) {
  std::vector<std::string> candidates{common::ProgramFolder() + kavel::kWindowModuleFile};
#ifdef KAVEL_WINDOW_MODULE_PATH
  candidates.push_back(KAVEL_WINDOW_MODULE_PATH);
#endif
  for (const std::string& path : candidates) {
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      *error = ::dlerror();
      continue;
    }
    auto entry =
        reinterpret_cast<kavel::WindowEntry>(::dlsym(module, kavel::kWindowEntryName));
    if (entry == nullptr) {
      *error = ::dlerror();
      continue;
    }
    entry(argc, argv, &arguments);
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Taken before Qt sees the command line: it would remove arguments it takes for its own.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  common::RemoveStaleTemporariesOfProgramFolder();
  try {
    if (kavel::HasDisplay()) {
      std::string error;
      if (RunWithWindowModule(argc, argv, arguments, &error)) return 0;
      std::cerr << kavel::kStderrPrefix << kavel::kNoWindowModule << error << '\n';
    }
    RunWithoutDisplay(arguments);
  } catch (const std::exception& e) {
    std::cerr << kavel::kStderrPrefix << e.what() << '\n';
  } catch (...) {
    std::cerr << kavel::kStderrPrefix << kavel::kUnknownError << '\n';
  }
  return 0;
}

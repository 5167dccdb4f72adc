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
#include "common/env.h"
#include "common/pending_file.h"
#include "common/program_folder.h"
#include "common/text_format.h"
#include "kavel/console_ui.h"
#include "kavel/run_flow.h"
#include "kavel/texts.h"
#include "kavel/window_run.h"

namespace {

void RunWithoutDisplay(const std::vector<std::string>& arguments, common::Env& env,
                       kavel::ConsoleUi& console) {
  kavel::RunFlow flow(env, console);
  flow.FormCreate(arguments);
  // After FormCreate, which starts the database reader: the reader's start overlaps this.
  common::RemoveStaleTemporariesOfProgramFolder(env.ProgramFolder());
  flow.FormShow();
}

// Loads the window module from beside the real program file and runs with windows. Returns
// false when the module cannot be loaded (with dlerror's text in *error) or finds no Qt platform
// for the displays that answered (*error empty). The module is never unloaded, since Qt leaves
// exit handlers in it.
bool RunWithWindowModule(int argc, char** argv, const kavel::WindowRunContext& context,
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
  return entry(argc, argv, &context, displays.wayland, displays.x11);
}

}  // namespace

int main(int argc, char** argv) {
  // Taken before Qt sees the command line: it would remove arguments it takes for its own.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // The one place where the run meets the real world; everything below reaches it through these.
  common::SystemEnv env(common::ProgramFolder());
  kavel::ConsoleUi console(std::cerr);
  try {
    const common::Displays displays = common::ProbeDisplays();
    if (displays.any()) {
      common::RemoveStaleTemporariesOfProgramFolder(env.ProgramFolder());
      std::string error;
      const kavel::WindowRunContext context{&arguments, &env, &console};
      if (RunWithWindowModule(argc, argv, context, displays, &error)) return 0;
      if (!error.empty()) console.ShowNote(common::FillIn(kavel::kNoWindowModule, {error}));
    }
    RunWithoutDisplay(arguments, env, console);
  } catch (const std::exception& e) {
    console.ShowNote(e.what());
  } catch (...) {
    console.ShowNote(kavel::kUnknownError);
  }
  return 0;
}

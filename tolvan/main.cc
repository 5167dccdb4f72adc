// Tolvan, the updater: one window that runs one update pass as soon as it is shown, then
// starts the main application again (or the installer) and closes.
#include <QApplication>
#include <QObject>

#include <cstdlib>
#include <iostream>
#include <string>

#include "common/display_probe.h"
#include "common/env.h"
#include "common/program_folder.h"
#include "common/texts.h"
#include "tolvan/id_http.h"
#include "tolvan/main_window.h"
#include "tolvan/program_starter.h"
#include "tolvan/text_util.h"
#include "tolvan/texts.h"
#include "tolvan/update_context.h"

namespace {

// Qt ends the process when the display server it is to use cannot be opened. Asks the servers
// first and tells Qt which one answered; false when Qt would find none.
bool DisplayServerAnswers() {
  const char* set = std::getenv("QT_QPA_PLATFORM");
  const std::string platform = set != nullptr ? set : "";
  const bool wants_x11 = platform.find(common::texts::kQtPlatformX11) != std::string::npos;
  const bool wants_wayland = platform.find(common::texts::kQtPlatformWayland) != std::string::npos;
  // Another platform (offscreen, for instance) needs no display server.
  if (!platform.empty() && !wants_x11 && !wants_wayland) return true;
  const common::Displays displays = common::ProbeDisplays();
  if (platform.empty()) {
    if (displays.x11 != displays.wayland) {
      ::setenv("QT_QPA_PLATFORM",
               displays.x11 ? common::texts::kQtPlatformX11 : common::texts::kQtPlatformWayland, 1);
    }
    return displays.any();
  }
  return (wants_x11 && displays.x11) || (wants_wayland && displays.wayland);
}

}  // namespace

int main(int argc, char** argv) {
  if (!DisplayServerAnswers()) {
    const char* display = std::getenv("DISPLAY");
    std::cerr << tolvan::Format(tolvan::texts::kErrNoDisplay, display != nullptr ? display : "")
              << '\n';
    return tolvan::texts::kExitNoDisplay;
  }
  QApplication app(argc, argv);
  // The program ends when the main window has closed for good (after its close handler), not
  // when the last window merely disappears.
  QApplication::setQuitOnLastWindowClosed(false);

  // The one place where the run meets the real world.
  common::SystemEnv env(common::ProgramFolder());
  tolvan::ShellProgramStarter starter;
  const tolvan::UpdateContext context{.env = env, .starter = starter, .http = tolvan::MakeIdHttp};

  tolvan::TfrmMain frmMain(context);
  QObject::connect(&frmMain, &tolvan::TfrmMain::closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  frmMain.show();
  return QApplication::exec();
}

// Tolvan, the updater: one window that runs one update pass as soon as it is shown, then
// starts the main application again (or the installer) and closes.
#include <QApplication>
#include <QObject>

#include "common/env.h"
#include "common/program_folder.h"
#include "tolvan/id_http.h"
#include "tolvan/main_window.h"
#include "tolvan/program_starter.h"
#include "tolvan/update_context.h"

int main(int argc, char** argv) {
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

// Tolvan, the updater: one window that runs one update pass as soon as it is shown, then
// starts the main application again (or the installer) and closes.
#include <QApplication>
#include <QObject>

#include "tolvan/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The program ends when the main window has closed for good (after its close handler), not
  // when the last window merely disappears.
  QApplication::setQuitOnLastWindowClosed(false);
  tolvan::TfrmMain frmMain;
  QObject::connect(&frmMain, &tolvan::TfrmMain::closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  frmMain.show();
  return QApplication::exec();
}

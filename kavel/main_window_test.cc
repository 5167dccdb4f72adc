// Kavel's Qt side under Qt's offscreen platform: the main window as designed, and the engine's
// error box as a modal message box with caption and error icon.
#include "kavel/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <sstream>

#include "common/test_env.h"
#include "kavel/console_ui.h"
#include "kavel/qt_run_ui.h"

namespace kavel {
namespace {

TEST(TfrmMain, IsTheDesignedHiddenWindowWithButton1) {
  common::TestEnv env;
  std::ostringstream err;
  ConsoleUi console(err);
  TfrmMain window({"caption", "", "99"}, env, console);
  EXPECT_EQ(window.windowTitle(), "PDF");
  EXPECT_EQ(window.size(), QSize(404, 326));
  EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMinMaxButtonsHint);
  ASSERT_NE(window.Button1(), nullptr);
  EXPECT_EQ(window.Button1()->objectName(), "Button1");
  EXPECT_EQ(window.Button1()->text(), "作成");
  EXPECT_EQ(window.Button1()->geometry(), QRect(0, 0, 75, 25));
  EXPECT_FALSE(window.isVisible());
}

// The box is modal, has the engine's caption, the error icon and the engine's text; ShowError
// returns once it is closed.
TEST(QtRunUi, ErrorBoxIsAModalCriticalMessageBox) {
  QWidget owner;
  std::ostringstream err;
  ConsoleUi console(err);
  QtRunUi ui(&owner, console);
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    modal = box->isModal();
    box->accept();
  });
  ui.ShowError("Error", "The following error(s) have occured:\nField not found: x");
  EXPECT_EQ(title, "Error");
  EXPECT_EQ(text, "The following error(s) have occured:\nField not found: x");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_TRUE(modal);
  EXPECT_NE(ui.ExportProgress(), nullptr);
  EXPECT_EQ(err.str(), "");  // the box is all the user sees
}

// A run that has to stop says so in a box and leaves the same line on standard error, which
// only the program's console writes; a note needs no box.
TEST(QtRunUi, FatalShowsABoxAndNotesGoToTheConsoleOnly) {
  QWidget owner;
  std::ostringstream err;
  ConsoleUi console(err);
  QtRunUi ui(&owner, console);
  QString title, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    box->accept();
  });
  ui.ShowFatal("処理を中止しました: Pdf.log");
  EXPECT_EQ(title, "Kavel");
  EXPECT_EQ(text, "処理を中止しました: Pdf.log");
  ui.ShowNote("PDFを作成できませんでした: x");  // returns at once: no box to close
  EXPECT_EQ(err.str(), "Kavel: 処理を中止しました: Pdf.log\nKavel: PDFを作成できませんでした: x\n");
}

}  // namespace
}  // namespace kavel

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

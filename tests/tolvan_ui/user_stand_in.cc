// Stands in for the user in front of the real Tolvan program in tests: loaded into it with
// LD_PRELOAD, it answers each modal window as it comes up, like a person would, and records
// what it saw. The program itself is the one users run; nothing in it knows about this.
//
//   TOLVAN_TEST_USER_LOG     file that gets one line per window: "box:<text>" (the text's line
//                            breaks as "|") or "dialog:<choice>"
//   TOLVAN_TEST_USER_CHOICE  object name of the dialog's radio button to choose
//                            ("RadioButton1" for the version-up, "RadioButton2" for the master
//                            database only); the dialog's OK button is then pressed
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

void Record(const std::string& line) {
  std::ofstream out(Env("TOLVAN_TEST_USER_LOG"), std::ios::app);
  out << line << '\n';
}

void Answer(QWidget* modal) {
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    std::string text = box->text().toStdString();
    for (char& c : text) {
      if (c == '\n') c = '|';
    }
    Record("box:" + text);
    if (!box->buttons().isEmpty()) box->buttons().front()->click();
    return;
  }
  const std::string choice = Env("TOLVAN_TEST_USER_CHOICE");
  auto* radio = modal->findChild<QAbstractButton*>(QString::fromStdString(choice));
  auto* ok = modal->findChild<QAbstractButton*>(QStringLiteral("Button1"));
  Record("dialog:" + choice);
  if (radio != nullptr) radio->click();
  if (ok != nullptr) ok->click();
}

void Install() {
  auto* timer = new QTimer(QCoreApplication::instance());
  // The last window answered lives in the slot, which goes with the timer.
  QObject::connect(timer, &QTimer::timeout, [last = QPointer<QWidget>()]() mutable {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == last || !modal->isVisible()) return;
    last = modal;
    Answer(modal);
  });
  timer->start(20);
}

// Runs once the program has made its application object.
const bool installed = [] {
  qAddPreRoutine(&Install);
  return true;
}();

}  // namespace

// TfrmMain, Kavel's main window: caption "PDF", client area 404 × 326, centred, no title-bar
// buttons, one push button Button1 "作成" at the top-left corner whose click runs the dispatch.
// It offers the user nothing, so a run keeps it hidden: FormShow does the whole run and the
// window closes.
#ifndef KAVEL_MAIN_WINDOW_H_
#define KAVEL_MAIN_WINDOW_H_

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "common/env.h"

class QPushButton;

namespace kavel {

class ConsoleUi;
class QtRunUi;
class RunFlow;

class TfrmMain : public QWidget {
  Q_OBJECT

 public:
  // FormCreate: stores the arguments. The run reaches the outside world through `env` and writes
  // what it shows no box for to `console`; both must outlive the window.
  TfrmMain(const std::vector<std::string>& arguments, common::Env& env, ConsoleUi& console);
  ~TfrmMain() override;

  // The whole run (log, database, title, Button1), then the window closes.
  void FormShow();

  QPushButton* Button1() const { return button1_; }

 private:
  QPushButton* button1_ = nullptr;  // "作成", owned by the window
  std::unique_ptr<QtRunUi> ui_;     // message boxes, progress and preview windows
  std::unique_ptr<RunFlow> flow_;   // the run itself
};

}  // namespace kavel

#endif  // KAVEL_MAIN_WINDOW_H_

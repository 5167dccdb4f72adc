// TfrmMain, the updater's main window: the status line Label2, the build label Label3, the
// download progress ProgressBar1, the hidden Button2 and Button1 ("終了"). It owns the update
// run (UpdateFlow), built from the context it is given, and is the run's UpdateUi: everything
// the run reaches outside (files, settings, network, program starts) comes in through that
// context.
//
// The run starts once per program start, when the window is first shown (not when it first
// becomes active: a window manager may withhold activation, and the run must not wait for it).
// It runs on a worker thread so that the window stays responsive while connecting, waiting for
// a silent server or downloading; its calls to the window are carried over to the window's
// thread in the order made. Display updates do not wait; message boxes and the confirmation
// dialog block the run until answered.
//
// Closing the window (close box, Button1, or the run's own decision) cancels a run in progress:
// a message box or dialog the run is waiting for is ended (the dialog answering 0), the window
// disappears, and once the worker has finished, FormClose runs and the window reports closed().
// Destroying the window without closing it cancels and waits for the run as well.
#ifndef TOLVAN_MAIN_WINDOW_H_
#define TOLVAN_MAIN_WINDOW_H_

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tolvan/cfm_dsp.h"
#include "tolvan/update_flow.h"
#include "tolvan/update_ui.h"

class QCloseEvent;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;

namespace tolvan {

class TfrmMain final : public QWidget, public UpdateUi {
  Q_OBJECT

 public:
  // FormCreate: builds the controls, sets the window's height, hides Label2 and ProgressBar1,
  // builds the flow from `context` (whose objects must outlive the window) and runs its IniSet
  // (which may show the error report). `open_url` goes to the confirmation dialogs (empty: the
  // desktop shell). GUI thread.
  explicit TfrmMain(const UpdateContext& context, TfrmCfmDsp::UrlOpener open_url = {});
  // Cancels a run still in progress and waits for its worker thread.
  ~TfrmMain() override;

  UpdateFlow& flow() { return *flow_; }
  // True once the run's worker thread has been started and has finished.
  bool RunFinished() const { return run_finished_.load(); }
  // True once FormClose has run: the window is closed for good.
  bool FormClosed() const { return form_closed_; }

  // UpdateUi, callable from the worker thread and from the window's thread.
  void SetStatusText(const std::string& text) override;
  void SetStatusVisible(bool visible) override;
  void SetProgressVisible(bool visible) override;
  void SetProgressMax(int32_t maximum) override;
  void SetProgressPosition(int32_t position) override;
  void SetBusyCursor(bool busy) override;
  void ShowButton1() override;
  void ShowMessage(MessageKind kind, const std::string& text) override;
  CfmAnswer DspSet(int32_t pinPKbn, int32_t pinMKbn) override;
  void CloseWindow() override;
  void ReportError(const std::string& text) override;

 signals:
  // The window has closed for good (FormClose has run); the program may end.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // A question of the run waiting for the user's answer on the window's thread.
  struct Question {
    bool answered = false;
    int32_t answer = 0;
  };

  bool OnWindowThread() const;
  // Runs `update` on the window's thread after the updates posted before it.
  void Post(std::function<void()> update);
  // Asks `ask` (a modal box, run on the window's thread) and returns its answer; `if_closing`
  // when the window closes first.
  int32_t Ask(std::function<int32_t()> ask, int32_t if_closing);
  // Runs a modal box for the run, ended by the window's closing.
  int32_t RunModal(QDialog& box, const std::function<int32_t()>& exec);

  void FormActivate();   // starts the run's worker thread, once
  void OnRunFinished();  // on the window's thread, after the worker has finished
  void Button1Click();
  void EndQuestions();   // ends every question of the run: the window is closing
  void SetBusy(bool busy);

  std::unique_ptr<UpdateFlow> flow_;
  TfrmCfmDsp::UrlOpener open_url_;  // for the confirmation dialogs

  QLabel* Label2_;               // status line
  QLabel* Label3_;               // build label
  QProgressBar* ProgressBar1_;   // download progress
  QPushButton* Button2_;         // "自動更新": hidden, never shown
  QPushButton* Button1_;         // "終了"

  std::thread worker_;                      // runs UpdateFlow::FormActivate
  std::atomic<bool> run_finished_{false};  // the worker has returned from the run
  bool run_started_ = false;                // the worker has been started
  bool close_pending_ = false;              // closed while the worker was still running
  bool form_closed_ = false;                // FormClose has run
  bool busy_ = false;                       // the busy cursor is set
  int32_t progress_max_ = 0;                // ProgressBar1's maximum as the run set it

  std::mutex mutex_;                 // guards closing_ and the questions' answers
  std::condition_variable answered_;  // a question was answered, or the window is closing
  bool closing_ = false;             // the window is closing: questions end at once
  std::vector<QPointer<QDialog>> open_boxes_;  // the run's boxes on screen
};

}  // namespace tolvan

#endif  // TOLVAN_MAIN_WINDOW_H_

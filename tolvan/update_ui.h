// The updater's windows as the update run sees them: the main window TfrmMain (status line
// Label2, progress bar ProgressBar1, Button1, busy cursor, message boxes, closing) and the
// confirmation dialog TfrmCfmDsp. The run (UpdateFlow) talks to its windows only through this
// interface, so the Qt windows and the scripted test double share one narrow surface.
//
// Threads. The update run (UpdateFlow::FormActivate / Button2Click) runs on a worker thread,
// never on the GUI thread, so every method below is normally called from that worker thread.
// A few are also called on the GUI thread itself, from the window's own handlers:
// UpdateFlow::Button1Click (when the user presses Button1) and UpdateFlow::FormClose (the window
// closes) call ShowMessage (CallExe's warning) and CloseWindow there. An implementation must
// therefore work from both threads: when already on the GUI thread it acts directly (a blocking
// cross-thread hand-off to its own thread would dead-lock).
//
// Blocking. Display updates (status line, progress, cursor, Button1) may be handed to the GUI
// thread without waiting; the run does not depend on when they are painted, only on their
// order, which must be kept. ShowMessage and DspSet block the calling thread until the user has
// answered (they are modal). CloseWindow may return before the window has closed.
//
// Cancelling. When the user closes the main window while a run is in progress, the window calls
// UpdateFlow::Cancel() and then UpdateFlow::FormClose(). The run may at that moment be blocked
// inside ShowMessage or DspSet on the worker thread: the implementation must then end those
// calls (DspSet answering 0) instead of waiting for a window that is gone. After Cancel() the
// run makes no further call here except possibly one that was already on its way; such a late
// call must be ignored safely.
#ifndef TOLVAN_UPDATE_UI_H_
#define TOLVAN_UPDATE_UI_H_

#include <cstdint>
#include <string>

namespace tolvan {

// The icon and title of a message box; every box has a single OK button.
enum class MessageKind {
  kInformation,
  kWarning,
  kError,
};

// The confirmation dialog's answer (DspSet).
enum class CfmAnswer : int32_t {
  kNothing = 0,       // closed without OK, or OK with the second choice when only a program
                      // update is offered
  kFirstChoice = 1,   // OK with the first choice: the version-up
  kSecondChoice = 2,  // OK with the second choice: the master-database update alone
};

class UpdateUi {
 public:
  virtual ~UpdateUi() = default;

  // Label2, the status line: sets its text (UTF-8) and repaints it at once. Leaves its
  // visibility as it is.
  virtual void SetStatusText(const std::string& text) = 0;
  // Shows or hides Label2.
  virtual void SetStatusVisible(bool visible) = 0;

  // ProgressBar1. The maximum and position are the low 32 bits of the byte counts, as the
  // progress bar takes them; the position never exceeds the maximum when the length is known.
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressMax(int32_t maximum) = 0;
  virtual void SetProgressPosition(int32_t position) = 0;

  // The mouse cursor over the application: the busy cursor (true) or the normal one (false).
  virtual void SetBusyCursor(bool busy) = 0;

  // Shows and enables Button1 ("終了"). It is never hidden again during a run.
  virtual void ShowButton1() = 0;

  // A modal message box with the given icon, the text (UTF-8; may contain lone CR line
  // breaks, each starting a new line) and one OK button. Blocks until the user presses OK.
  virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;

  // The confirmation dialog TfrmCfmDsp: creates it, shows it modally with the offer
  // (pinPKbn: 1 when a program update is offered; pinMKbn: 1 when a master-database update
  // is offered; any other value counts as not offered) and returns its answer once it has
  // closed. Blocks until then; answers kNothing when the dialog is closed without OK.
  virtual CfmAnswer DspSet(int32_t pinPKbn, int32_t pinMKbn) = 0;

  // Closes the main window. The window's close handler then calls UpdateFlow::FormClose() on
  // the GUI thread, and the program ends when the window is gone.
  virtual void CloseWindow() = 0;

  // The program's top-level error report: an error that ended the run. Shows `text` (UTF-8) in
  // an error message box. The window stays open as it is: status line, progress bar and busy
  // cursor as the run left them, Button1 hidden. Blocks until the user presses OK.
  virtual void ReportError(const std::string& text) = 0;
};

}  // namespace tolvan

#endif  // TOLVAN_UPDATE_UI_H_

// The update run of Tolvan: start-up settings, the disk-space gate, the list probe, the list
// download and check, the user's choice, applying it (downloads, backup, copies, installer
// start), the decision after the run and the start of the main application.
//
// UpdateFlow holds the state of TfrmMain that the run needs (URL, mstLogPath, gstSetupVer,
// bPGM, bMaster) and the HTTP client IdHTTP1. It reaches its windows only through UpdateUi and
// everything else (program folder, user.ini, logs, clock, free space, the network, program
// starts) only through the UpdateContext it is built with; it writes nothing to standard
// error.
//
// Threads (what the window must do):
//   - construct the flow and call IniSet() when the main window is created (GUI thread);
//   - when the window first becomes active, start ONE worker thread that calls FormActivate()
//     and ends when it returns; FormActivate() performs the run once per program start and
//     returns at once on any later call;
//   - when the user presses Button1, call Button1Click() (GUI thread);
//   - in the window's close handler, whatever closed it: call Cancel() and then FormClose()
//     (GUI thread), then let the window go. The worker thread may still be finishing: join it
//     (it ends within about a second of Cancel(), provided UI calls blocked in it are released
//     as update_ui.h asks) before destroying the flow.
// The flow itself never blocks the GUI thread for long: Cancel() waits at most for one short
// file step of the run in progress (one settings write, one rename, one copy into the program
// folder, the pre-update backup) so that after it returns the run touches nothing more.
//
// Errors. Expected conditions (no room, list missing, server error, no connection, failed
// starts) are shown in message boxes and logged. Any other failure inside the run (a request or
// download that fails, a file or settings value that cannot be written) ends the run at once
// and is shown once through UpdateUi::ReportError; the window then stays open.
#ifndef TOLVAN_UPDATE_FLOW_H_
#define TOLVAN_UPDATE_FLOW_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "tolvan/http_client.h"
#include "tolvan/update_context.h"
#include "tolvan/update_ui.h"

namespace tolvan {

// An error that ends the update run; what() is the text of the top-level error report.
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised inside the run once Cancel() has been called; it ends the run silently.
class RunCancelled : public std::runtime_error {
 public:
  RunCancelled() : std::runtime_error("cancelled") {}
};

// The list probe's result (Tolvan).
enum class ListProbe : int32_t {
  kNotNewer = 0,     // the list on the server is not newer than [UPD] TIME
  kNewer = 1,        // newer, or [UPD] TIME is empty
  kNotOnServer = 3,  // the server answered 404
  kNoAnswer = 9,     // a server error, or no answer at all
};

// The update the run applies (iR2).
enum class UpdateChoice : int32_t {
  kNothing = 0,           // no choice asked, or the user declined
  kInstaller = 1,         // version-up through the installer Setup.exe
  kMasterOnly = 2,        // MST.FDB alone, by copying
  kProgramAndMaster = 3,  // Norvik.exe and MST.FDB by copying, all or nothing, after a backup
};

class UpdateFlow {
 public:
  // `ui` and the objects `context` refers to must outlive the flow. The flow makes its HTTP
  // client through context.http at once.
  UpdateFlow(UpdateUi& ui, const UpdateContext& context);
  ~UpdateFlow();
  UpdateFlow(const UpdateFlow&) = delete;
  UpdateFlow& operator=(const UpdateFlow&) = delete;

  // FormCreate: start-up settings. Creates the folder "Log" in the program folder when
  // missing, sets mstLogPath, writes [EXPAND] STAUS = "START" and sets URL (the built-in base
  // URL, or [PARAM] NVKMST when not empty, used unchanged). The window itself sets its height
  // and hides Label2 and ProgressBar1. GUI thread. A settings write that fails is reported
  // through UpdateUi::ReportError (blocking until answered); returns false then.
  bool IniSet();

  // FormActivate: performs Button2Click the first time it is called and does nothing on any
  // later call, so a re-activated window never starts a second run. Worker thread; blocks
  // for the whole run (network, downloads, message boxes, the confirmation dialog).
  void FormActivate();

  // The disk-space gate, the run (UpDataHttp) and the decision after it. Worker thread;
  // blocks for the whole run. Never throws: an error that ends the run is reported through
  // UpdateUi::ReportError (unless the run was cancelled) and the decision is skipped.
  void Button2Click();

  // Bytes available on the file system of the program folder.
  int64_t DiskCheck() const;

  // The run, steps 1 to 11 including the apply steps. Worker thread. Throws RunError (or
  // common::IoError / common::SettingsWriteError) for an error that ends the run, and
  // RunCancelled once Cancel() has been called.
  void UpDataHttp();

  // Starts the main application (CallExe "Norvik.exe") and closes the window. Called on the
  // GUI thread when the user presses Button1, and on the worker thread by the decision after
  // the run.
  void Button1Click();

  // The window closes, whatever closed it: starts the main application when [UPD] Download
  // reads exactly "1" and it has not been started yet by this run. GUI thread; call
  // Cancel() first. Never throws.
  void FormClose();

  // Writes [CALL] STATUS = "1" and starts program folder + pstExe. The main application
  // ("Norvik.exe") is started at most once per program run: a later call for it returns true
  // without starting it again. When the start fails, shows the warning
  // "ベルタンQX インストール版が起動できません" and returns false. Any thread; blocks while
  // the warning is shown. Throws common::SettingsWriteError when user.ini cannot be written.
  bool CallExe(const std::string& pstExe);

  // The list probe for URL + pstFile (see ListProbe). Worker thread. Throws RunError when the
  // second HEAD request fails (a redirect or other non-success status).
  ListProbe Tolvan(const std::string& pstFile);

  // HEAD for AUrl: the HTTP status of the answer, or 999 when none arrived. Never throws except
  // RunCancelled. Leaves the connection open. Worker thread.
  int32_t CheckHTTPUrl(std::string& AUrl);

  // GET pstUrl into pstPathFile with progress on the window. The body goes to a temporary file
  // beside pstPathFile that replaces it only when complete; on failure pstPathFile is left as it
  // was and the temporary file is removed. Returns false (no error) after a completed download
  // and empties [UPD] Download. Throws RunError when the file cannot be created or written or
  // the request fails (no answer, a status outside 200-299, connection lost, time-out).
  // Worker thread.
  bool AutoDl(const std::string& pstPathFile, const std::string& pstUrl);

  // Stops a run in progress: a transfer ends within a second, and the run then ends without
  // touching any file, settings value or window again. Any thread (normally the GUI thread's
  // close handler). Returns after any short file step in progress has finished; never waits
  // for the network or for the user.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }

  // The state of the run, for tests and for the window once no run is in progress (they are
  // not synchronised with the worker thread).
  const std::string& URL() const { return url_; }
  const std::string& mstLogPath() const { return log_path_; }
  const std::string& gstSetupVer() const { return setup_ver_; }
  bool bPGM() const { return pgm_; }
  bool bMaster() const { return master_; }

 private:
  class Events;        // the HTTP client's connection events, logged
  class DownloadFile;  // a download's temporary file and its progress display

  bool StartProgram(const std::string& pstExe, bool in_run);
  void Button1Action();
  void DecideAfterRun();
  void ApplyUpdate(UpdateChoice iR2, const std::string& DownLoadPath);
  void InstallerRoute(const std::string& DownLoadPath);
  // Copies a downloaded file over the installed one; a failure is logged and shown.
  bool CopyIntoProgramFolder(const std::string& from, const std::string& name);
  // Choice 3's two copies, all or nothing.
  void CopyPair(const std::string& DownLoadPath);
  void Log(const std::string& text);
  void WriteIni(const char* section, const char* key, const std::string& value);
  void ThrowIfCancelled() const;
  // The window while the run is in progress; throws RunCancelled once the run is cancelled.
  UpdateUi& Ui() const;

  // Runs one file step of the run (settings write, log line, rename, copy, backup, start)
  // unless the run has been cancelled; Cancel() waits for a step in progress.
  template <typename F>
  auto RunStep(F&& step) {
    std::lock_guard<std::mutex> lock(step_mutex_);
    ThrowIfCancelled();
    return step();
  }
  // The same for the window's own handlers, which act also after Cancel().
  template <typename F>
  auto WindowStep(F&& step) {
    std::lock_guard<std::mutex> lock(step_mutex_);
    return step();
  }

  UpdateUi& ui_;
  common::Env& env_;                   // program folder, user.ini, logs, clock, free space
  ProgramStarter& starter_;
  const int64_t progress_interval_ms_;  // see UpdateContext
  std::unique_ptr<Events> events_;     // receives IdHTTP1_'s events
  std::unique_ptr<HttpClient> IdHTTP1_;  // the one HTTP client of the window
  std::string RealUrl_;                // RealUrl: the URL of the last probe

  std::string url_;         // URL: base URL of the update server, ending with "/" as configured
  std::string log_path_;    // mstLogPath: program folder + "Log/Update.log"
  std::string setup_ver_;   // gstSetupVer: latest Norvik.exe version from the list
  bool pgm_ = false;        // bPGM: the run took the installer route
  bool master_ = false;     // bMaster: a file was copied into the program folder

  std::atomic<bool> cancelled_{false};
  std::atomic<bool> run_started_{false};     // FormActivate has started the one run
  std::atomic<bool> main_app_started_{false};  // Norvik.exe start attempted by this run
  mutable std::mutex step_mutex_;            // held by file steps; Cancel() waits for it
};

}  // namespace tolvan

#endif  // TOLVAN_UPDATE_FLOW_H_

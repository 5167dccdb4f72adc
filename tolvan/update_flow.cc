#include "tolvan/update_flow.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "common/file_helper.h"
#include "common/pending_file.h"
#include "common/texts.h"
#include "tolvan/installed_pair.h"
#include "tolvan/text_util.h"
#include "tolvan/texts.h"
#include "tolvan/update_list.h"

namespace tolvan {
namespace {

namespace ct = common::texts;

std::string LastModifiedText(int64_t seconds) {
  if (seconds < 0) return texts::kZeroDateTime;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return texts::kZeroDateTime;
  char text[32] = {};
  if (std::strftime(text, sizeof text, "%Y%m%d%H%M", &local) != 12) return texts::kZeroDateTime;
  return text;
}

// Bytes written between two requests to start writing them to disk. Small enough that little
// is left for the final sync once the last byte arrives; each request costs a system call.
constexpr int64_t kWriteBehindBytes = 2 * 1024 * 1024;

// New bytes between two background syncs of a download (see DataSyncer).
constexpr int64_t kSyncBytes = 16 * 1024 * 1024;

int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// The dialog's answer as the update to apply: the first choice is the version-up, the second
// the master database alone.
UpdateChoice ChoiceOf(CfmAnswer answer) {
  switch (answer) {
    case CfmAnswer::kFirstChoice:
      return UpdateChoice::kInstaller;
    case CfmAnswer::kSecondChoice:
      return UpdateChoice::kMasterOnly;
    case CfmAnswer::kNothing:
      break;
  }
  return UpdateChoice::kNothing;
}

// Makes a download's data durable while the body still arrives: each time kSyncBytes more have
// been written, fdatasync on a thread of its own, so that receiving never waits for the disk.
// Left to the final fsync, the journal commit for the blocks of the whole file took about a
// fifth of a 200 MB download; after these syncs it has a few megabytes left. The final fsync
// before the rename stays: these syncs only take work off it.
//
// A failed sync is kept and reported by Written and Stop: the kernel reports a write-back error
// to one sync of a descriptor only, so the final fsync would no longer see it.
class DataSyncer {
 public:
  DataSyncer() = default;
  DataSyncer(const DataSyncer&) = delete;
  DataSyncer& operator=(const DataSyncer&) = delete;
  ~DataSyncer() { Stop(); }

  // `bytes` of `fd` have been written in all. Starts the thread on the first kSyncBytes and
  // wakes it for every further kSyncBytes. Returns the errno of a failed sync, else 0.
  int Written(int fd, int64_t bytes) {
    if (bytes - announced_ >= kSyncBytes) {
      announced_ = bytes;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        written_ = bytes;
      }
      if (!thread_.joinable()) {
        try {
          thread_ = std::thread([this, fd] { Run(fd); });
        } catch (const std::system_error&) {
          // No thread to be had: the final fsync does all of it, as it would anyway.
        }
      } else {
        wake_.notify_one();
      }
    }
    return error_.load(std::memory_order_relaxed);
  }

  // Waits for a sync in progress and ends the thread. Returns the errno of a failed sync, else 0.
  int Stop() {
    if (thread_.joinable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
      }
      wake_.notify_one();
      thread_.join();
    }
    return error_.load(std::memory_order_relaxed);
  }

 private:
  void Run(int fd) {
    int64_t synced = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || written_ - synced >= kSyncBytes; });
      if (stopping_) return;
      const int64_t target = written_;
      lock.unlock();
      const bool failed = ::fdatasync(fd) != 0;
      if (failed) error_.store(errno, std::memory_order_relaxed);
      lock.lock();
      if (failed) return;
      synced = target;
    }
  }

  int64_t announced_ = 0;  // the last count handed to the thread (receiving thread only)
  std::mutex mutex_;
  std::condition_variable wake_;
  int64_t written_ = 0;    // guarded by mutex_
  bool stopping_ = false;  // guarded by mutex_
  std::atomic<int> error_{0};
  std::thread thread_;
};

}  // namespace

// Logs the HTTP client's connection changes to the run log.
class UpdateFlow::Events final : public HttpEvents {
 public:
  explicit Events(UpdateFlow& flow) : flow_(flow) {}
  void IdHTTP1Status(const std::string& text) override {
    flow_.Log(Format(texts::kLogStatus, text));
  }
  void IdHTTP1Disconnected() override { flow_.Log(texts::kLogDisconnected); }

 private:
  UpdateFlow& flow_;
};

// The open download file (AStream) and the progress it shows. The body goes to a file beside
// the target that has no name until Commit() puts it in the target's place once the body is
// complete; anything else drops it, and a killed process leaves nothing behind. Space is taken
// as the bytes arrive, never reserved for a body that may not come.
class UpdateFlow::DownloadFile final : public BodySink {
 public:
  DownloadFile(UpdateFlow& flow, std::string target) : flow_(flow), target_(std::move(target)) {}
  DownloadFile(const DownloadFile&) = delete;
  DownloadFile& operator=(const DownloadFile&) = delete;

  // Creates the file. Throws RunError when it cannot be created.
  void Create() {
    // A program arrives ready to start; the update list and the database are data.
    const std::string name = target_.substr(target_.rfind('/') + 1);
    const common::FileKind kind = name == ct::kMainProgramName || name == texts::kSetupName
                                      ? common::FileKind::kProgram
                                      : common::FileKind::kData;
    if (!file_.Create(target_, kind)) {
      throw RunError(Format(texts::kErrCreateFile, target_, std::strerror(file_.error())));
    }
  }

  // IdHTTP1WorkBegin: the progress bar's maximum is the announced length.
  bool Begin(int64_t length) override {
    length_ = length;
    if (flow_.Cancelled()) return false;
    flow_.ui_.SetProgressMax(Low32(length > 0 ? length : 0));
    return true;
  }

  bool Write(const char* data, size_t size) override {
    if (!file_.Write(std::string_view(data, size))) return Fail(file_.error());
    received_ += static_cast<int64_t>(size);
    // Start writing the body to disk while it still arrives, so that making it durable at the
    // end has little left to wait for.
    if (received_ - flushed_ >= kWriteBehindBytes) {
      ::sync_file_range(file_.fd(), flushed_, received_ - flushed_, SYNC_FILE_RANGE_WRITE);
      flushed_ = received_;
      if (const int error = syncer_.Written(file_.fd(), received_)) return Fail(error);
    }
    const auto now = std::chrono::steady_clock::now();
    const bool last = length_ >= 0 && received_ >= length_;
    if (last || !reported_once_ ||
        now - last_report_ >= std::chrono::milliseconds(flow_.progress_interval_ms_)) {
      if (flow_.Cancelled()) return false;
      Work(now);
    }
    return true;
  }

  // Ends the file after a complete body: shows the final progress, makes the data durable,
  // and puts the file in the target's place. Throws RunError on failure.
  void Commit() {
    if (received_ != reported_) Work(std::chrono::steady_clock::now());
    flow_.RunStep([&] {
      if (const int error = syncer_.Stop()) Throw(error);
      if (!file_.Commit()) Throw(file_.error());
    });
  }

  // Why the last Begin or Write failed.
  const std::string& error() const { return error_; }

 private:
  // IdHTTP1Work: position, and the bytes still to come.
  void Work(std::chrono::steady_clock::time_point now) {
    reported_once_ = true;
    reported_ = received_;
    last_report_ = now;
    const int64_t remaining = length_ >= 0 && length_ > received_ ? length_ - received_ : 0;
    flow_.ui_.SetProgressPosition(Low32(received_));
    flow_.ui_.SetStatusText(Format(texts::kStatusRemaining, std::to_string(remaining)));
  }

  bool Fail(int error) {
    error_ = Describe(error);
    return false;
  }
  [[noreturn]] void Throw(int error) { throw RunError(Describe(error)); }
  std::string Describe(int error) const {
    const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG;
    return Format(texts::kErrWriteFile, target_, full ? texts::kErrDiskFull : std::strerror(error));
  }

  UpdateFlow& flow_;
  const std::string target_;  // pstPathFile
  common::PendingFile file_;  // where the body is written until complete
  DataSyncer syncer_;         // syncs file_ while it is written; ends before file_ closes
  int64_t length_ = -1;       // announced length, -1 when none
  int64_t received_ = 0;
  int64_t reported_ = 0;      // bytes shown by the last progress report
  int64_t flushed_ = 0;       // bytes handed to the disk so far
  bool reported_once_ = false;
  std::chrono::steady_clock::time_point last_report_;
  std::string error_;
};

UpdateFlow::UpdateFlow(UpdateUi& ui, const UpdateContext& context)
    : ui_(ui),
      env_(context.env),
      starter_(context.starter),
      progress_interval_ms_(context.progress_interval_ms),
      events_(std::make_unique<Events>(*this)),
      IdHTTP1_(context.http(*events_, context.http_settings)) {}

UpdateFlow::~UpdateFlow() = default;

void UpdateFlow::ThrowIfCancelled() const {
  if (cancelled_.load()) throw RunCancelled();
}

UpdateUi& UpdateFlow::Ui() const {
  ThrowIfCancelled();
  return ui_;
}

void UpdateFlow::Log(const std::string& text) {
  RunStep([&] { env_.WrtLog(log_path_, text); });
}

void UpdateFlow::WriteIni(const char* section, const char* key, const std::string& value) {
  RunStep([&] { env_.IFWriteIniStr(section, key, value); });
}

void UpdateFlow::Cancel() {
  cancelled_.store(true);
  IdHTTP1_->Cancel();
  // Wait for a file step in progress; every later one sees the flag.
  std::lock_guard<std::mutex> lock(step_mutex_);
}

bool UpdateFlow::IniSet() {
  try {
    const std::string& program_folder = env_.ProgramFolder();
    const std::string log_folder = program_folder + ct::kLogFolderName;
    if (!common::DirectoryExists(log_folder)) common::CreateDir(log_folder);
    log_path_ = log_folder + texts::kLogFileName;
    // What an earlier run left behind when it was killed: temporaries nobody writes any more,
    // and an update stopped between its two copies.
    WindowStep([&] {
      common::RemoveStaleTemporariesOfProgramFolder(program_folder);
      const std::string backup = env_.IFReadIniStr(ct::kSectionParam, ct::kKeyBackup, "");
      if (!backup.empty()) {
        common::RemoveStaleTemporaries(common::FolderOf(backup + "x"));
        common::RemoveStaleTemporaries(backup + ct::kProgramBackupFolder);
      }
      const std::vector<std::string> restored = InstalledPair::RestoreInterruptedUpdate(
          program_folder, texts::kMasterDbName, ct::kMainProgramName);
      if (!restored.empty()) {
        std::string names;
        for (const std::string& name : restored) names += (names.empty() ? "" : " ") + name;
        env_.WrtLog(log_path_, Format(texts::kLogInterruptedRestored, names));
      }
    });
    WindowStep([&] { env_.IFWriteIniStr(texts::kSecExpand, texts::kKeyStaus, texts::kValStart); });
    url_ = texts::kBuiltInBaseUrl;
    std::string configured = env_.IFReadIniStr(ct::kSectionParam, texts::kKeyNvkmst, "");
    if (!configured.empty()) url_ = std::move(configured);
    return true;
  } catch (const std::exception& e) {
    ui_.ReportError(e.what());
    return false;
  }
}

void UpdateFlow::FormActivate() {
  if (run_started_.exchange(true)) return;
  Button2Click();
}

int64_t UpdateFlow::DiskCheck() const {
  const uint64_t bytes = env_.AvailableDiskSpace(env_.ProgramFolder());
  return bytes > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(bytes);
}

void UpdateFlow::Button2Click() {
  try {
    const int64_t mb = DiskCheck() / 1024 / 1024;
    const int32_t need =
        ParseInt32(env_.IFReadIniStr(ct::kSectionParam, texts::kKeyDisk, texts::kDefDisk))
            .value_or(texts::kDefDiskMb);
    if (mb < need) {
      Ui().ShowMessage(MessageKind::kWarning,
                       Format(texts::kMsgDiskShort, std::to_string(need), std::to_string(mb)));
      Ui().ShowButton1();
      return;
    }
    UpDataHttp();
    DecideAfterRun();
  } catch (const RunCancelled&) {
    // The window is closing; it has taken over.
  } catch (const std::exception& e) {
    if (!Cancelled()) ui_.ReportError(e.what());
  }
}

void UpdateFlow::DecideAfterRun() {
  const std::string noupd(Trim(env_.IFReadIniStr(ct::kSectionParam, texts::kKeyNoupd, "")));
  if (noupd == texts::kValOne || noupd == texts::kValNine) {
    Button1Action();
    return;
  }
  WriteIni(texts::kSecCall, texts::kKeyStatus, texts::kValOne);
  if (!master_ && pgm_) Ui().CloseWindow();
  if (!pgm_) Button1Action();
}

void UpdateFlow::UpDataHttp() {
  pgm_ = false;
  master_ = false;
  WriteIni(ct::kSectionParam, texts::kKeyNoupd, "");
  WriteIni(texts::kSecUpd, texts::kKeyDownload, texts::kValOne);

  const std::string DownLoadPath = env_.ProgramFolder() + ct::kDownloadFolderName;
  if (!common::DirectoryExists(DownLoadPath)) {
    RunStep([&] { common::CreateDir(DownLoadPath); });
    Log(Format(texts::kLogCreated, DownLoadPath));
  }

  const ListProbe probe = Tolvan(texts::kUListName);
  if (probe == ListProbe::kNotOnServer) {
    Ui().SetStatusText(texts::kStatusListMissing);
    Log(Format(texts::kLogNoListFile, DownLoadPath));
    Ui().SetStatusVisible(true);
    Ui().ShowButton1();
    return;
  }
  if (probe == ListProbe::kNoAnswer) {
    Ui().SetStatusText(texts::kStatusNoConnection);
    Ui().ShowButton1();
    WriteIni(ct::kSectionParam, texts::kKeyNoupd, texts::kValNine);
    return;
  }

  // The list is fetched on every run, newer than last time or not.
  const bool bErr = AutoDl(DownLoadPath + texts::kUListName, url_ + texts::kUListName);
  Log(texts::kLogUListDownloaded);

  const ListDecision decision =
      RunStep([&] { return UListChk(env_, DownLoadPath, log_path_, setup_ver_); });
  setup_ver_ = decision.gstSetupVer;
  const int32_t iR = decision.result;
  const int32_t minPKbn = decision.pinPKbn;
  const int32_t minMKbn = decision.pinMKbn;
  if (iR == 0) {
    Ui().SetStatusText(texts::kStatusNoNewUpdate);
    Log(texts::kLogNoNewUpdate);
    WriteIni(ct::kSectionParam, texts::kKeyNoupd, texts::kValOne);
    return;
  }

  UpdateChoice iR2 = UpdateChoice::kNothing;
  if (iR == 1 && minPKbn == 1) {
    iR2 = ChoiceOf(Ui().DspSet(minPKbn, minMKbn));
    ThrowIfCancelled();
    // Without the installer the version-up is made by copying.
    if (env_.IFReadIniStr(texts::kSecUpdate, texts::kKeyNosetup, "") == texts::kValOne &&
        iR2 == UpdateChoice::kInstaller) {
      iR2 = UpdateChoice::kProgramAndMaster;
    }
  } else if (minMKbn == 1) {
    iR2 = UpdateChoice::kMasterOnly;
  }
  if (bErr || iR <= 0 || iR2 == UpdateChoice::kNothing) return;
  ApplyUpdate(iR2, DownLoadPath);
}

ListProbe UpdateFlow::Tolvan(const std::string& pstFile) {
  ListProbe result = ListProbe::kNotNewer;
  Ui().SetStatusVisible(true);
  Ui().SetStatusText(texts::kStatusChecking);
  Ui().SetBusyCursor(true);
  std::string stUrl = url_ + pstFile;
  // Program files fetched here are started afterwards: never over plain HTTP. An address
  // that is not https is treated as a server that cannot be reached.
  const size_t scheme_length = std::strlen(texts::kHttpsScheme);
  const bool https = ::strncasecmp(url_.c_str(), texts::kHttpsScheme, scheme_length) == 0;
  if (!https) Log(Format(texts::kLogNotHttps, url_));
  const int32_t code = https ? CheckHTTPUrl(stUrl) : texts::kNoAnswerStatus;
  if (code == 404) {
    Ui().ShowMessage(MessageKind::kInformation, texts::kMsgNotFound);
    Log(Format(texts::kLogNotFound, stUrl));
    Ui().SetBusyCursor(false);
    return ListProbe::kNotOnServer;
  }
  if (code >= 500 && code <= 599) {
    Ui().ShowMessage(MessageKind::kWarning, texts::kMsgServerError);
    Log(texts::kMsgServerError);
    Ui().SetBusyCursor(false);
    return ListProbe::kNoAnswer;
  }
  if (code == texts::kNoAnswerStatus) {
    Ui().ShowMessage(MessageKind::kWarning, texts::kMsgNoConnection);
    Log(texts::kMsgNoConnection);
    Ui().SetBusyCursor(false);
    return ListProbe::kNoAnswer;
  }

  const HttpReply reply = IdHTTP1_->Head(stUrl);
  ThrowIfCancelled();
  if (!reply.ok) throw RunError(reply.error);
  const std::string newTime = LastModifiedText(reply.last_modified);
  IdHTTP1_->Disconnect();
  const std::string oldTime = env_.IFReadIniStr(texts::kSecUpd, texts::kKeyTime, "");
  if (newTime > oldTime) result = ListProbe::kNewer;
  WriteIni(texts::kSecUpd, texts::kKeyTime, newTime);
  Log(Format(texts::kLogLastUListTime, oldTime));
  Log(Format(texts::kLogServerUListTime, newTime));
  Ui().SetBusyCursor(false);
  return result;
}

int32_t UpdateFlow::CheckHTTPUrl(std::string& AUrl) {
  RealUrl_ = AUrl;
  const HttpReply reply = IdHTTP1_->Head(RealUrl_);
  ThrowIfCancelled();
  return reply.answered ? reply.status : texts::kNoAnswerStatus;
}

bool UpdateFlow::AutoDl(const std::string& pstPathFile, const std::string& pstUrl) {
  Ui().SetStatusVisible(true);
  Ui().SetStatusText(texts::kStatusDownloadStart);
  Ui().SetProgressPosition(0);
  Ui().SetProgressVisible(true);
  Ui().SetBusyCursor(true);
  {
    DownloadFile file(*this, pstPathFile);
    RunStep([&] { file.Create(); });
    const HttpReply reply = IdHTTP1_->Get(pstUrl, file);
    ThrowIfCancelled();
    if (!reply.ok) throw RunError(reply.sink_failed ? file.error() : reply.error);
    file.Commit();
  }
  Ui().SetStatusText(texts::kStatusDownloadEnd);
  Log(Format(texts::kLogDownloadEnd, pstUrl));
  IdHTTP1_->Disconnect();
  Ui().SetBusyCursor(false);
  Ui().SetProgressVisible(false);
  WriteIni(texts::kSecUpd, texts::kKeyDownload, "");
  return false;
}

bool UpdateFlow::StartProgram(const std::string& pstExe, bool in_run) {
  const std::string path = env_.ProgramFolder() + pstExe;
  const bool main_app = pstExe == ct::kMainProgramName;
  const bool started = [&] {
    std::lock_guard<std::mutex> lock(step_mutex_);
    if (in_run) ThrowIfCancelled();
    env_.IFWriteIniStr(texts::kSecCall, texts::kKeyStatus, texts::kValOne);
    // Button1 and the closing window may both ask for the main application; one start is
    // all a run makes.
    if (main_app && main_app_started_.exchange(true)) return true;
    return starter_.Open(path);
  }();
  if (!started) {
    (in_run ? Ui() : ui_).ShowMessage(MessageKind::kWarning, texts::kMsgMainAppStartFailed);
  }
  return started;
}

bool UpdateFlow::CallExe(const std::string& pstExe) { return StartProgram(pstExe, false); }

void UpdateFlow::Button1Action() {
  StartProgram(ct::kMainProgramName, true);
  Ui().CloseWindow();
}

void UpdateFlow::Button1Click() {
  try {
    StartProgram(ct::kMainProgramName, false);
  } catch (const std::exception& e) {
    ui_.ReportError(e.what());
  }
  ui_.CloseWindow();
}

void UpdateFlow::FormClose() {
  try {
    if (env_.IFReadIniStr(texts::kSecUpd, texts::kKeyDownload, "") == texts::kValOne) {
      StartProgram(ct::kMainProgramName, false);
    }
  } catch (const std::exception& e) {
    ui_.ReportError(e.what());
  }
}

}  // namespace tolvan

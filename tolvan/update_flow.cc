#include "tolvan/update_flow.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include "common/activity_log.h"
#include "common/disk_space.h"
#include "common/file_helper.h"
#include "common/pending_file.h"
#include "common/program_folder.h"
#include "common/settings.h"
#include "tolvan/id_http.h"
#include "tolvan/installed_pair.h"
#include "tolvan/text_util.h"
#include "tolvan/texts.h"
#include "tolvan/update_list.h"

namespace tolvan {
namespace {

std::string LastModifiedText(int64_t seconds) {
  if (seconds < 0) return texts::kZeroDateTime;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return texts::kZeroDateTime;
  char text[32] = {};
  if (std::strftime(text, sizeof text, "%Y%m%d%H%M", &local) != 12) return texts::kZeroDateTime;
  return text;
}

constexpr int64_t kWriteBehindBytes = 8 * 1024 * 1024;

int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

}  // namespace

// Logs the HTTP client's connection changes to the run log.
class UpdateFlow::Events final : public HttpEvents {
 public:
  explicit Events(UpdateFlow& flow) : flow_(flow) {}
  void IdHTTP1Status(const std::string& text) override {
    flow_.Log(texts::kLogStatusPrefix + text);
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
    const common::FileKind kind = name == texts::kMainAppName || name == texts::kSetupName
                                      ? common::FileKind::kProgram
                                      : common::FileKind::kData;
    if (!file_.Create(target_, kind)) {
      throw RunError(Format(texts::kErrCreateFile, target_) + " " + std::strerror(file_.error()));
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
    while (size > 0) {
      const ssize_t n = ::write(file_.fd(), data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      data += n;
      size -= static_cast<size_t>(n);
      received_ += n;
    }
    // Start writing the body to disk while it still arrives, so that making it durable at the
    // end has little left to wait for.
    if (received_ - flushed_ >= kWriteBehindBytes) {
      ::sync_file_range(file_.fd(), flushed_, received_ - flushed_, SYNC_FILE_RANGE_WRITE);
      flushed_ = received_;
    }
    const auto now = std::chrono::steady_clock::now();
    const bool last = length_ >= 0 && received_ >= length_;
    if (last || !reported_once_ ||
        now - last_report_ >= std::chrono::milliseconds(flow_.options_.progress_interval_ms)) {
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
    flow_.ui_.SetStatusText(texts::kStatusRemainingPrefix + std::to_string(remaining) +
                            texts::kStatusRemainingSuffix);
  }

  bool Fail(int error) {
    error_ = Describe(error);
    return false;
  }
  [[noreturn]] void Throw(int error) { throw RunError(Describe(error)); }
  std::string Describe(int error) const {
    if (error == ENOSPC || error == EDQUOT || error == EFBIG) {
      return Format(texts::kErrWriteFile, target_) + " " + texts::kErrDiskFull;
    }
    return Format(texts::kErrWriteFile, target_) + " " + std::strerror(error);
  }

  UpdateFlow& flow_;
  const std::string target_;  // pstPathFile
  common::PendingFile file_;  // where the body is written until complete
  int64_t length_ = -1;       // announced length, -1 when none
  int64_t received_ = 0;
  int64_t reported_ = 0;      // bytes shown by the last progress report
  int64_t flushed_ = 0;       // bytes handed to the disk so far
  bool reported_once_ = false;
  std::chrono::steady_clock::time_point last_report_;
  std::string error_;
};

UpdateFlow::UpdateFlow(UpdateUi& ui, FlowOptions options)
    : ui_(ui),
      options_(std::move(options)),
      starter_(options_.starter != nullptr ? *options_.starter : shell_starter_),
      events_(std::make_unique<Events>(*this)),
      IdHTTP1_(std::make_unique<IdHttp>(
          *events_, HttpSettings{options_.connect_timeout_ms, options_.stall_timeout_ms})) {}

UpdateFlow::~UpdateFlow() = default;

void UpdateFlow::ThrowIfCancelled() const {
  if (cancelled_.load()) throw RunCancelled();
}

UpdateUi& UpdateFlow::Ui() const {
  ThrowIfCancelled();
  return ui_;
}

void UpdateFlow::Log(const std::string& text) {
  RunStep([&] { common::WrtLog(log_path_, text); });
}

void UpdateFlow::WriteIni(const char* section, const char* key, const std::string& value) {
  RunStep([&] { common::IFWriteIniStr(section, key, value); });
}

void UpdateFlow::Cancel() {
  cancelled_.store(true);
  IdHTTP1_->Cancel();
  // Wait for a file step in progress; every later one sees the flag.
  std::lock_guard<std::mutex> lock(step_mutex_);
}

bool UpdateFlow::IniSet() {
  try {
    const std::string log_folder = common::ProgramFolder() + texts::kLogFolder;
    if (!common::DirectoryExists(log_folder)) common::CreateDir(log_folder);
    log_path_ = log_folder + texts::kLogFileName;
    // What an earlier run left behind when it was killed: temporaries nobody writes any more,
    // and an update stopped between its two copies.
    WindowStep([&] {
      common::RemoveStaleTemporariesOfProgramFolder(common::ProgramFolder());
      const std::string backup = common::IFReadIniStr(texts::kSecParam, texts::kKeyBackup, "");
      if (!backup.empty()) {
        common::RemoveStaleTemporaries(common::FolderOf(backup + "x"));
        common::RemoveStaleTemporaries(backup + texts::kProgramBackupFolder);
      }
      const std::vector<std::string> restored = InstalledPair::RestoreInterruptedUpdate(
          common::ProgramFolder(), texts::kMasterDbName, texts::kMainAppName);
      if (!restored.empty()) {
        std::string names;
        for (const std::string& name : restored) names += (names.empty() ? "" : " ") + name;
        common::WrtLog(log_path_, texts::kLogInterruptedRestored + names);
      }
    });
    WindowStep([] { common::IFWriteIniStr(texts::kSecExpand, texts::kKeyStaus, texts::kValStart); });
    url_ = texts::kBuiltInBaseUrl;
    std::string configured = common::IFReadIniStr(texts::kSecParam, texts::kKeyNvkmst, "");
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
  const std::string folder = common::ProgramFolder();
  if (options_.free_bytes) return options_.free_bytes(folder);
  return static_cast<int64_t>(common::GetAvailableDiskSpace(folder));
}

void UpdateFlow::Button2Click() {
  try {
    const int64_t mb = DiskCheck() / 1024 / 1024;
    const int32_t need =
        ParseInt32(common::IFReadIniStr(texts::kSecParam, texts::kKeyDisk, texts::kDefDisk))
            .value_or(texts::kDefDiskMb);
    if (mb < need) {
      Ui().ShowMessage(MessageKind::kWarning,
                       std::string(texts::kDiskLine1) + texts::kLineBreak + std::to_string(need) +
                           texts::kDiskLine2Suffix + texts::kLineBreak + texts::kDiskLine3Prefix +
                           std::to_string(mb) + texts::kDiskLine3Suffix + texts::kLineBreak +
                           texts::kDiskLine4);
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
  const std::string noupd(Trim(common::IFReadIniStr(texts::kSecParam, texts::kKeyNoupd, "")));
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
  WriteIni(texts::kSecParam, texts::kKeyNoupd, "");
  WriteIni(texts::kSecUpd, texts::kKeyDownload, texts::kValOne);

  const std::string DownLoadPath = common::ProgramFolder() + texts::kDownloadFolder;
  if (!common::DirectoryExists(DownLoadPath)) {
    RunStep([&] { common::CreateDir(DownLoadPath); });
    Log(DownLoadPath + texts::kLogCreated);
  }

  int32_t iR = Tolvan(texts::kUListName);
  if (iR >= 2) {
    if (iR == 3) {
      Ui().SetStatusText(texts::kStatusListMissing);
      Log(DownLoadPath + texts::kLogNoListFile);
      Ui().SetStatusVisible(true);
      Ui().ShowButton1();
    } else if (iR == 9) {
      Ui().SetStatusText(texts::kStatusNoConnection);
      Ui().ShowButton1();
      WriteIni(texts::kSecParam, texts::kKeyNoupd, texts::kValNine);
    }
    return;
  }

  // The list is fetched on every run, newer than last time or not.
  const bool bErr = AutoDl(DownLoadPath + texts::kUListName, url_ + texts::kUListName);
  Log(texts::kLogUListDownloaded);

  const ListDecision decision = RunStep([&] { return UListChk(DownLoadPath, log_path_, setup_ver_); });
  setup_ver_ = decision.gstSetupVer;
  iR = decision.result;
  const int32_t minPKbn = decision.pinPKbn;
  const int32_t minMKbn = decision.pinMKbn;
  if (iR == 0) {
    Ui().SetStatusText(texts::kStatusNoNewUpdate);
    Log(texts::kLogNoNewUpdate);
    WriteIni(texts::kSecParam, texts::kKeyNoupd, texts::kValOne);
    return;
  }

  int32_t iR2 = 0;
  if (iR == 1 && minPKbn == 1) {
    iR2 = Ui().DspSet(minPKbn, minMKbn);
    ThrowIfCancelled();
    if (common::IFReadIniStr(texts::kSecUpdate, texts::kKeyNosetup, "") == texts::kValOne &&
        iR2 == 1) {
      iR2 = 3;
    }
  } else if (minMKbn == 1) {
    iR2 = 2;
  }
  if (bErr || iR <= 0 || iR2 <= 0) return;
  ApplyUpdate(iR2, DownLoadPath);
}

int32_t UpdateFlow::Tolvan(const std::string& pstFile) {
  int32_t result = 0;
  Ui().SetStatusVisible(true);
  Ui().SetStatusText(texts::kStatusChecking);
  Ui().SetBusyCursor(true);
  std::string stUrl = url_ + pstFile;
  // Program files fetched here are started afterwards: never over plain HTTP. An address
  // that is not https is treated as a server that cannot be reached.
  const size_t scheme_length = std::strlen(texts::kHttpsScheme);
  const bool https = ::strncasecmp(url_.c_str(), texts::kHttpsScheme, scheme_length) == 0;
  if (!https) Log(texts::kLogNotHttps + url_);
  const int32_t code = https ? CheckHTTPUrl(stUrl) : texts::kNoAnswerStatus;
  if (code == 404) {
    Ui().ShowMessage(MessageKind::kInformation, texts::kMsgNotFound);
    Log(texts::kLogNotFoundPrefix + stUrl + texts::kLogNotFoundSuffix);
    Ui().SetBusyCursor(false);
    return 3;
  }
  if (code >= 500 && code <= 599) {
    Ui().ShowMessage(MessageKind::kWarning, texts::kMsgServerError);
    Log(texts::kMsgServerError);
    Ui().SetBusyCursor(false);
    return 9;
  }
  if (code == texts::kNoAnswerStatus) {
    Ui().ShowMessage(MessageKind::kWarning, texts::kMsgNoConnection);
    Log(texts::kMsgNoConnection);
    Ui().SetBusyCursor(false);
    return 9;
  }

  const HttpReply reply = IdHTTP1_->Head(stUrl);
  ThrowIfCancelled();
  if (!reply.ok) throw RunError(reply.error);
  const std::string newTime = LastModifiedText(reply.last_modified);
  IdHTTP1_->Disconnect();
  const std::string oldTime = common::IFReadIniStr(texts::kSecUpd, texts::kKeyTime, "");
  if (newTime > oldTime) result = 1;
  WriteIni(texts::kSecUpd, texts::kKeyTime, newTime);
  Log(texts::kLogLastUListTime + oldTime);
  Log(texts::kLogServerUListTime + newTime);
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
  Log(pstUrl + texts::kLogDownloadEnd);
  IdHTTP1_->Disconnect();
  Ui().SetBusyCursor(false);
  Ui().SetProgressVisible(false);
  WriteIni(texts::kSecUpd, texts::kKeyDownload, "");
  return false;
}

bool UpdateFlow::StartProgram(const std::string& pstExe, bool in_run) {
  const std::string path = common::ProgramFolder() + pstExe;
  const bool main_app = pstExe == texts::kMainAppName;
  const bool started = [&] {
    std::lock_guard<std::mutex> lock(step_mutex_);
    if (in_run) ThrowIfCancelled();
    common::IFWriteIniStr(texts::kSecCall, texts::kKeyStatus, texts::kValOne);
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
  StartProgram(texts::kMainAppName, true);
  Ui().CloseWindow();
}

void UpdateFlow::Button1Click() {
  try {
    StartProgram(texts::kMainAppName, false);
  } catch (const std::exception& e) {
    ui_.ReportError(e.what());
  }
  ui_.CloseWindow();
}

void UpdateFlow::FormClose() {
  try {
    if (common::IFReadIniStr(texts::kSecUpd, texts::kKeyDownload, "") == texts::kValOne) {
      StartProgram(texts::kMainAppName, false);
    }
  } catch (const std::exception& e) {
    ui_.ReportError(e.what());
  }
}

}  // namespace tolvan

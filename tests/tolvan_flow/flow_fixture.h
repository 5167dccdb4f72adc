// The update run against the real HTTPS test server, in a temporary program folder, with a
// scripted window (FakeUi) and a starter that records starts instead of making them.
#ifndef TESTS_TOLVAN_FLOW_FLOW_FIXTURE_H_
#define TESTS_TOLVAN_FLOW_FLOW_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/program_folder_override_for_testing.h"
#include "common/settings.h"
#include "common/temp_folder_for_testing.h"
#include "common/text_encoding.h"
#include "tests/tolvan_server/test_server.h"
#include "tolvan/program_starter.h"
#include "tolvan/update_flow.h"
#include "tolvan/update_ui.h"

namespace tolvan_test {

// Records every call of the run, in order, as text: "status:<text>", "status-visible:1",
// "progress-visible:1", "progress-max:<n>", "progress:<n>", "busy:1", "button1",
// "message:<i|w|e>:<text>", "dspset:<p>,<m>", "close", "error:<text>". Answers DspSet from a
// script. Closing the window does what the real window does: Cancel(), then FormClose().
class FakeUi : public tolvan::UpdateUi {
 public:
  void SetStatusText(const std::string& text) override { Add("status:" + text); }
  void SetStatusVisible(bool visible) override { Add(Flag("status-visible", visible)); }
  void SetProgressVisible(bool visible) override { Add(Flag("progress-visible", visible)); }
  void SetProgressMax(int32_t maximum) override { Add("progress-max:" + std::to_string(maximum)); }
  void SetProgressPosition(int32_t position) override {
    Add("progress:" + std::to_string(position));
  }
  void SetBusyCursor(bool busy) override { Add(Flag("busy", busy)); }
  void ShowButton1() override { Add("button1"); }
  void ShowMessage(tolvan::MessageKind kind, const std::string& text) override {
    const char* k = kind == tolvan::MessageKind::kInformation ? "i"
                    : kind == tolvan::MessageKind::kWarning   ? "w"
                                                              : "e";
    Add(std::string("message:") + k + ":" + text);
  }
  int32_t DspSet(int32_t pinPKbn, int32_t pinMKbn) override {
    Add("dspset:" + std::to_string(pinPKbn) + "," + std::to_string(pinMKbn));
    if (while_asking) while_asking();
    return dsp_answer;
  }
  void CloseWindow() override {
    Add("close");
    if (flow != nullptr) {
      flow->Cancel();
      flow->FormClose();
    }
  }
  void ReportError(const std::string& text) override { Add("error:" + text); }

  std::vector<std::string> Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // The calls that start with `prefix`, with the prefix removed.
  std::vector<std::string> CallsOf(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : Calls()) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
    }
    return out;
  }
  size_t Count(const std::string& call) const {
    size_t n = 0;
    for (const std::string& c : Calls()) n += c == call;
    return n;
  }
  std::string LastStatus() const {
    const auto statuses = CallsOf("status:");
    return statuses.empty() ? "" : statuses.back();
  }

  // Forgets the calls, for the next window.
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    dsp_answer = 0;
    flow = nullptr;
    while_asking = nullptr;
  }

  int32_t dsp_answer = 0;
  std::function<void()> while_asking;  // runs while the dialog is open
  tolvan::UpdateFlow* flow = nullptr;

 private:
  static std::string Flag(const char* name, bool on) {
    return std::string(name) + ":" + (on ? "1" : "0");
  }
  void Add(std::string call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

class FakeStarter : public tolvan::ProgramStarter {
 public:
  bool Open(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened.push_back(path);
    return open_ok;
  }
  bool RunAs(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ran_as.push_back(path);
    return run_as_ok;
  }
  void Reset() {
    opened.clear();
    ran_as.clear();
    open_ok = run_as_ok = true;
  }
  std::vector<std::string> opened;
  std::vector<std::string> ran_as;
  bool open_ok = true;
  bool run_as_ok = true;

 private:
  std::mutex mutex_;
};

// A program folder "pf/" holding Norvik.exe (version 2.0.0.2), MST.FDB (master database
// version 1.0.0.2) and user.ini, and a server folder whose "data/QX/" is the update server.
class FlowTest : public ::testing::Test {
 protected:
  FlowTest() {
    TrustTestCa();
    std::filesystem::create_directories(pf_);
    std::filesystem::create_directories(served_);
    common::OverrideProgramFolderForTesting(pf_);
    InstallPe("Norvik.exe", "v2.0.0.2.exe");
    Install("MST.FDB", "installed master database\n");
    SetIni("PARAM", "DBVERSION", "1.0.0.2");
    ServePe("Norvik.exe", "v2.0.0.3.exe");
    Serve("MST.FDB", std::string(300000, 'M'));
    ServePe("Setup.exe", "v2.0.0.3.exe");
  }
  ~FlowTest() override {
    flow_.reset();
    common::OverrideProgramFolderForTesting("");
  }

  static std::string Pe(const std::string& fixture) {
    return ReadFile(std::string(TOLVAN_PE_DIR) + fixture);
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  void Install(const std::string& name, const std::string& bytes) { WriteFile(pf_ + name, bytes); }
  void InstallPe(const std::string& name, const std::string& fixture) { Install(name, Pe(fixture)); }
  std::string Installed(const std::string& name) const { return ReadFile(pf_ + name); }
  void Serve(const std::string& name, const std::string& bytes) { WriteFile(served_ + name, bytes); }
  void ServePe(const std::string& name, const std::string& fixture) { Serve(name, Pe(fixture)); }
  std::string Served(const std::string& name) const { return ReadFile(served_ + name); }

  static void SetIni(const char* section, const char* key, const std::string& value) {
    common::IFWriteIniStr(section, key, value);
  }
  static std::string Ini(const char* section, const char* key) {
    return common::IFReadIniStr(section, key, "<absent>");
  }

  // Starts the server and points [PARAM] NVKMST at it.
  TestServer& StartServer(TestServer::Mode mode = TestServer::Mode::kTrusted) {
    server_ = std::make_unique<TestServer>(root_.path() + "srv/", mode);
    SetIni("PARAM", "NVKMST", server_->Url("/data/QX/"));
    return *server_;
  }

  // Forgets the window and the starts of an earlier run of the same test.
  void NewWindow() {
    flow_.reset();
    ui_.Reset();
    starter_.Reset();
  }

  tolvan::UpdateFlow& MakeFlow() {
    tolvan::FlowOptions options;
    options.starter = &starter_;
    options.free_bytes = [this](const std::string&) { return free_bytes_; };
    options.connect_timeout_ms = connect_timeout_ms_;
    options.stall_timeout_ms = stall_timeout_ms_;
    options.progress_interval_ms = 0;
    flow_ = std::make_unique<tolvan::UpdateFlow>(ui_, options);
    ui_.flow = flow_.get();
    return *flow_;
  }

  // Creates the window and lets it become active: one whole run and its ending.
  tolvan::UpdateFlow& Run() {
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    flow.FormActivate();
    return flow;
  }

  // The user closes a window that is still open.
  void UserCloses() {
    flow_->Cancel();
    flow_->FormClose();
  }

  // The texts of Update.log without their time stamps.
  std::vector<std::string> LogTexts(const std::string& name = "Log/Update.log") const {
    std::vector<std::string> texts;
    const std::string log = common::Cp932ToUtf8(ReadFile(pf_ + name));
    static const std::regex stamp(R"(^\d{4}/\d{2}/\d{2}( \d{1,2}:\d{2}:\d{2})? )");
    // Lines end with CR LF; a lone CR inside a text stays part of it.
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
      texts.push_back(std::regex_replace(log.substr(start, end - start), stamp, ""));
    }
    return texts;
  }
  // The log texts that are not connection reports of the HTTP client.
  std::vector<std::string> RunLogTexts() const {
    std::vector<std::string> out;
    for (const std::string& t : LogTexts()) {
      if (t.rfind("ステータス=", 0) != 0 && t != "切断されました") out.push_back(t);
    }
    return out;
  }
  // The files of a folder of the program folder, by name.
  std::vector<std::string> FilesIn(const std::string& folder) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(pf_ + folder, ec)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  common::TempFolderForTesting root_;
  const std::string pf_ = root_.path() + "pf/";
  const std::string served_ = root_.path() + "srv/data/QX/";
  std::unique_ptr<TestServer> server_;
  FakeUi ui_;
  FakeStarter starter_;
  int64_t free_bytes_ = int64_t{10} * 1024 * 1024 * 1024;
  int64_t stall_timeout_ms_ = 700;
  int64_t connect_timeout_ms_ = 3000;
  std::unique_ptr<tolvan::UpdateFlow> flow_;
};

}  // namespace tolvan_test

#endif  // TESTS_TOLVAN_FLOW_FLOW_FIXTURE_H_

// Download speed and memory of the updater's AutoDl beside curl on the same file from the same
// HTTPS test server, and the time of a run that finds no new update (start to decision).
//
// Usage: tolvan_download_bench [megabytes (default 200)] [no-update runs (default 10)]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/program_folder_override_for_testing.h"
#include "common/settings.h"
#include "common/temp_folder_for_testing.h"
#include "tests/tolvan_server/test_server.h"
#include "tolvan/program_starter.h"
#include "tolvan/update_flow.h"
#include "tolvan/update_ui.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A window that only counts what it is asked to show, and notes when the run decided.
class CountingUi : public tolvan::UpdateUi {
 public:
  void SetStatusText(const std::string& text) override {
    ++status_updates;
    const auto now = Clock::now();
    if (text == "更新ファイルチェック中です") probe_at = now;
    if (text == "ダウンロード開始") list_at = now;
    if (text == "ダウンロード終了") list_done_at = now;
  }
  void SetStatusVisible(bool) override {}
  void SetProgressVisible(bool) override {}
  void SetProgressMax(int32_t) override {}
  void SetProgressPosition(int32_t) override { ++progress_updates; }
  void SetBusyCursor(bool) override {}
  void ShowButton1() override {}
  void ShowMessage(tolvan::MessageKind, const std::string& text) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  int32_t DspSet(int32_t, int32_t) override { return 0; }
  void CloseWindow() override { closed_at = Clock::now(); }
  void ReportError(const std::string& text) override {
    std::fprintf(stderr, "error: %s\n", text.c_str());
  }
  long progress_updates = 0;
  long status_updates = 0;
  Clock::time_point probe_at, list_at, list_done_at, closed_at;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

class NoStarts : public tolvan::ProgramStarter {
 public:
  bool Open(const std::string&) override { return true; }
  bool RunAs(const std::string&) override { return true; }
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Runs curl on `url` into `out`; returns its wall time and fills its peak RSS.
double CurlDownload(const std::string& url, const std::string& out, long* peak_kb) {
  std::vector<std::string> args = {"curl", "-s", "-f", "--tlsv1.2", "--tls-max", "1.2",
                                   "--capath", std::getenv("SSL_CERT_DIR"), "-o", out, url};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  // The child's own high-water mark, read while it runs: its rusage would also count the
  // pages it shared with this process before exec.
  int status = 0;
  long peak = 0;
  for (;;) {
    std::ifstream proc("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(proc, line);) {
      if (line.rfind("VmHWM:", 0) == 0) peak = std::max(peak, std::atol(line.c_str() + 6));
    }
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    usleep(2000);
  }
  const double seconds = Seconds(Clock::now() - start);
  *peak_kb = peak;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 10;
  const long rss_at_start_kb = PeakRssKb();

  common::TempFolderForTesting root;
  const std::string pf = root.path() + "pf/";
  const std::string served = root.path() + "srv/data/QX/";
  std::filesystem::create_directories(pf + "DownLoad");
  std::filesystem::create_directories(served);
  {
    std::ofstream out(served + "Big", std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
    for (long i = 0; i < megabytes; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  const double bytes = static_cast<double>(megabytes) * (1 << 20);

  // Trust the test CA beside every authority of the system store, in a hashed folder as the
  // system keeps them.
  {
    const std::string store = root.path() + "certs/";
    std::filesystem::create_directories(store);
    for (const auto& entry : std::filesystem::directory_iterator("/etc/ssl/certs")) {
      if (entry.path().extension() == ".pem" || entry.path().extension() == ".crt") {
        std::filesystem::create_symlink(entry.path(), store + entry.path().filename().string());
      }
    }
    std::filesystem::copy_file(tolvan_test::Certificates().ca, store + "tolvan-test-ca.pem");
    if (std::system(("openssl rehash " + store + " 2>/dev/null").c_str()) != 0) return 1;
    ::unsetenv("SSL_CERT_FILE");
    ::setenv("SSL_CERT_DIR", store.c_str(), 1);
  }
  tolvan_test::TestServer server(root.path() + "srv/");
  common::OverrideProgramFolderForTesting(pf);
  common::IFWriteIniStr("PARAM", "NVKMST", server.Url("/data/QX/"));
  const std::string url = server.Url("/data/QX/Big");

  // Rounds alternate AutoDl and curl, so that both meet the same load of the machine; the
  // best round of each is compared.
  constexpr int kRounds = 3;
  CountingUi ui;
  NoStarts starts;
  tolvan::FlowOptions options;
  options.starter = &starts;
  std::vector<double> ours, theirs;
  long our_peak_kb = 0;
  long curl_peak_kb = 0;
  for (int round = 0; round < kRounds; ++round) {
    {
      tolvan::UpdateFlow flow(ui, options);
      flow.IniSet();
      const auto start = Clock::now();
      const bool failed = flow.AutoDl(pf + "DownLoad/Big", url);
      ours.push_back(Seconds(Clock::now() - start));
      if (failed || std::filesystem::file_size(pf + "DownLoad/Big") != static_cast<uintmax_t>(bytes)) {
        std::fprintf(stderr, "AutoDl: wrong size\n");
        return 1;
      }
    }
    our_peak_kb = PeakRssKb();
    std::filesystem::remove(pf + "DownLoad/Big");
    long peak = 0;
    const double t = CurlDownload(url, root.path() + "curl.out", &peak);
    if (t < 0) {
      std::fprintf(stderr, "curl failed\n");
      return 1;
    }
    theirs.push_back(t);
    curl_peak_kb = std::max(curl_peak_kb, peak);
    std::filesystem::remove(root.path() + "curl.out");
  }
  const double our_best = *std::min_element(ours.begin(), ours.end());
  const double their_best = *std::min_element(theirs.begin(), theirs.end());

  std::printf("download of %ld MB over HTTPS (TLS 1.2) from 127.0.0.1, best of %d rounds\n",
              megabytes, kRounds);
  std::printf("  AutoDl : %7.3f s  %8.1f MB/s (median %.3f s)  peak RSS %6.1f MB (%.1f MB at start)\n",
              our_best, bytes / our_best / 1e6, Median(ours), our_peak_kb / 1024.0,
              rss_at_start_kb / 1024.0);
  std::printf("  curl -o: %7.3f s  %8.1f MB/s (median %.3f s)  peak RSS %6.1f MB\n", their_best,
              bytes / their_best / 1e6, Median(theirs), curl_peak_kb / 1024.0);
  std::printf("  throughput ratio AutoDl / curl: %.2f (goal >= 0.90); AutoDl also makes the file "
              "durable before renaming it, curl does not\n",
              their_best / our_best);
  std::printf("  peak RSS of this process after AutoDl: %.1f MB (goal <= 40 MB), %ld progress reports "
              "per download\n",
              our_peak_kb / 1024.0, ui.progress_updates / kRounds);

  // A run that finds nothing new: from the window becoming active to the decision.
  std::filesystem::copy_file(TOLVAN_PE_DIR "v2.0.0.2.exe", pf + "Norvik.exe");
  {
    std::ofstream list(served + "UList", std::ios::binary);
    list << "MST.FDB,1.0.0.2\r\nNorvik.exe,2.0.0.2\r\n";
  }
  std::ofstream(pf + "MST.FDB") << "db";
  common::IFWriteIniStr("PARAM", "DBVERSION", "1.0.0.2");
  std::vector<double> times, before_probe, probe, list, rest;
  for (int i = 0; i < runs; ++i) {
    CountingUi run_ui;
    tolvan::UpdateFlow flow(run_ui, options);
    flow.IniSet();
    const auto start = Clock::now();
    flow.FormActivate();
    if (common::IFReadIniStr("PARAM", "NOUPD", "") != "1") {
      std::fprintf(stderr, "the run did not end with no new update\n");
      return 1;
    }
    times.push_back(Seconds(run_ui.closed_at - start) * 1000);
    before_probe.push_back(Seconds(run_ui.probe_at - start) * 1000);
    probe.push_back(Seconds(run_ui.list_at - run_ui.probe_at) * 1000);
    list.push_back(Seconds(run_ui.list_done_at - run_ui.list_at) * 1000);
    rest.push_back(Seconds(run_ui.closed_at - run_ui.list_done_at) * 1000);
  }
  std::sort(times.begin(), times.end());
  std::printf("no-update run, start to decision (%d runs): median %.1f ms, best %.1f ms, worst %.1f ms "
              "(goal <= 100 ms)\n",
              runs, times[times.size() / 2], times.front(), times.back());
  std::printf("  medians: gate and markers %.1f ms, list probe %.1f ms, list download %.1f ms, "
              "list check and decision %.1f ms\n",
              Median(before_probe), Median(probe), Median(list), Median(rest));
  common::OverrideProgramFolderForTesting("");
  return 0;
}

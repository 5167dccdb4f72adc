// Download speed and memory of the updater's AutoDl beside curl on the same file from the same
// HTTPS test server, and the time of a run that finds no new update (start to decision).
//
// Usage: tolvan_download_bench [megabytes (default 200)] [no-update runs (default 10)]
//                             [download rounds (default 9)]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "common/env.h"
#include "common/temp_folder_for_testing.h"
#include "tests/tolvan_server/test_server.h"
#include "tolvan/id_http.h"
#include "tolvan/program_starter.h"
#include "tolvan/update_context.h"
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
  tolvan::CfmAnswer DspSet(int32_t, int32_t) override { return tolvan::CfmAnswer::kNothing; }
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

// This process's resident high-water mark (VmHWM).
long PeakRssKb() {
  std::ifstream proc("/proc/self/status");
  for (std::string line; std::getline(proc, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Lowers the high-water mark to what is resident now, so that the next reading is the peak of
// what runs in between. False where the kernel does not allow it.
bool ResetPeakRss() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

// Processor time of this process so far (every thread, user and system).
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// Runs curl on `url` into `out`; returns its wall time (-1 when it failed) and fills its peak
// RSS and processor time. With `durable`, the time also covers an fsync of the file once curl
// has ended, as AutoDl makes its file durable before it takes the target's place.
double CurlDownload(const std::string& url, const std::string& out, bool durable, long* peak_kb,
                    double* cpu_seconds) {
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
    rusage usage{};
    if (wait4(pid, &status, WNOHANG, &usage) == pid) {
      *cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      break;
    }
    usleep(2000);
  }
  *peak_kb = peak;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  if (durable) {
    const int fd = ::open(out.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!synced) return -1;
  }
  return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 10;
  const int rounds = std::max(1, argc > 3 ? std::atoi(argv[3]) : 9);
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
  common::SystemEnv env(pf);
  env.IFWriteIniStr("PARAM", "NVKMST", server.Url("/data/QX/"));
  const std::string url = server.Url("/data/QX/Big");

  // Rounds run AutoDl, curl and curl followed by an fsync of its file, each round starting with
  // the next one, so that all meet the same load of the machine; the median of the rounds'
  // ratios is the figure. curl does not make its file durable; the third shows what that costs.
  CountingUi ui;
  NoStarts starts;
  const tolvan::UpdateContext options{.env = env, .starter = starts, .http = tolvan::MakeIdHttp};
  std::vector<double> ours, theirs, ratios, our_cpu, their_cpu, durable, durable_ratios;
  long our_peak_kb = 0;
  long curl_peak_kb = 0;
  bool hwm_reset = true;
  for (int round = 0; round < rounds; ++round) {
    double our_s = 0;
    double their_s = 0;
    double durable_s = 0;
    const auto run_ours = [&]() -> bool {
      tolvan::UpdateFlow flow(ui, options);
      flow.IniSet();
      hwm_reset = ResetPeakRss() && hwm_reset;
      const double cpu_start = CpuSeconds();
      const auto start = Clock::now();
      const bool failed = flow.AutoDl(pf + "DownLoad/Big", url);
      our_s = Seconds(Clock::now() - start);
      our_cpu.push_back(CpuSeconds() - cpu_start);
      our_peak_kb = std::max(our_peak_kb, PeakRssKb());
      const bool right = !failed && std::filesystem::file_size(pf + "DownLoad/Big") ==
                                        static_cast<uintmax_t>(bytes);
      std::filesystem::remove(pf + "DownLoad/Big");
      return right;
    };
    const auto run_curl = [&]() -> bool {
      long peak = 0;
      double cpu = 0;
      their_s = CurlDownload(url, root.path() + "curl.out", false, &peak, &cpu);
      std::filesystem::remove(root.path() + "curl.out");
      curl_peak_kb = std::max(curl_peak_kb, peak);
      their_cpu.push_back(cpu);
      return their_s > 0;
    };
    const auto run_durable = [&]() -> bool {
      long peak = 0;
      double cpu = 0;
      durable_s = CurlDownload(url, root.path() + "curl.out", true, &peak, &cpu);
      std::filesystem::remove(root.path() + "curl.out");
      return durable_s > 0;
    };
    const std::function<bool()> runs_in_order[] = {run_ours, run_curl, run_durable};
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) ok = runs_in_order[(round + i) % 3]();
    if (!ok) {
      std::fprintf(stderr, "round %d: AutoDl gave the wrong file or curl failed\n", round + 1);
      return 1;
    }
    ours.push_back(our_s);
    theirs.push_back(their_s);
    ratios.push_back(their_s / our_s);
    durable.push_back(durable_s);
    durable_ratios.push_back(durable_s / our_s);
  }

  std::printf("download of %ld MB over HTTPS (TLS 1.2) from 127.0.0.1, %d rounds (order rotating)\n",
              megabytes, rounds);
  std::printf("  AutoDl : %7.3f s  %8.1f MB/s (median; best %.3f s, CPU %.3f s)  peak RSS %6.1f MB "
              "during the download\n",
              Median(ours), bytes / Median(ours) / 1e6,
              *std::min_element(ours.begin(), ours.end()), Median(our_cpu), our_peak_kb / 1024.0);
  std::printf("  curl -o: %7.3f s  %8.1f MB/s (median; best %.3f s, CPU %.3f s)  peak RSS %6.1f MB\n",
              Median(theirs), bytes / Median(theirs) / 1e6,
              *std::min_element(theirs.begin(), theirs.end()), Median(their_cpu),
              curl_peak_kb / 1024.0);
  std::printf("  curl -o + fsync: %7.3f s  %8.1f MB/s (median; best %.3f s)\n", Median(durable),
              bytes / Median(durable) / 1e6, *std::min_element(durable.begin(), durable.end()));
  std::string each;
  for (double r : ratios) each += (each.empty() ? "" : " ") + Fixed(r);
  std::printf("  throughput ratio AutoDl / curl: %.2f (median of the rounds: %s; goal >= 0.95); "
              "AutoDl also makes the file durable before renaming it, curl does not\n",
              Median(ratios), each.c_str());
  std::printf("  throughput ratio AutoDl / (curl -o + fsync): %.2f (median of the rounds)\n",
              Median(durable_ratios));
  std::printf("  peak RSS of this process during AutoDl: %.1f MB (goal <= 40 MB%s; %.1f MB at "
              "start), %ld progress reports per download\n",
              our_peak_kb / 1024.0, hwm_reset ? "" : ", high-water mark not resettable: since start",
              rss_at_start_kb / 1024.0, ui.progress_updates / rounds);

  // A run that finds nothing new: from the window becoming active to the decision.
  std::filesystem::copy_file(TOLVAN_PE_DIR "v2.0.0.2.exe", pf + "Norvik.exe");
  {
    std::ofstream list(served + "UList", std::ios::binary);
    list << "MST.FDB,1.0.0.2\r\nNorvik.exe,2.0.0.2\r\n";
  }
  std::ofstream(pf + "MST.FDB") << "db";
  env.IFWriteIniStr("PARAM", "DBVERSION", "1.0.0.2");
  std::vector<double> times, before_probe, probe, list, rest;
  for (int i = 0; i < runs; ++i) {
    CountingUi run_ui;
    tolvan::UpdateFlow flow(run_ui, options);
    flow.IniSet();
    const auto start = Clock::now();
    flow.FormActivate();
    if (env.IFReadIniStr("PARAM", "NOUPD", "") != "1") {
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
  return 0;
}

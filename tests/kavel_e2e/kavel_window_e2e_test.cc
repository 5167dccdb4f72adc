// Kavel end to end with a display: the real program in a throw-away program folder, with the
// window module beside it as installed, on Qt's offscreen platform. A stand-in compositor answers
// the program's display probe, so the program loads the module and runs with windows; a watcher
// loaded into the program (window_watcher.cc) reports the Qt start and closes the preview as a
// user would. The database is the sample one of tools/.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_folder_for_testing.h"
#include "tests/kavel_e2e/e2e_support.h"
#include "tools/sample_database.h"

namespace kavel_e2e {
namespace {

const std::string kCaption = "令和８年１１月社保";

// Listens on a Unix socket and answers what the program's display probe asks a Wayland
// compositor (a sync request on the display object) with the callback's "done" event. It
// speaks no more Wayland than that: the program must not connect again, since Qt runs on the
// offscreen platform.
class StandInCompositor {
 public:
  explicit StandInCompositor(const std::string& path)
      : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd_, 4) != 0) {
      throw std::runtime_error("listen " + path);
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~StandInCompositor() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  StandInCompositor(const StandInCompositor&) = delete;
  StandInCompositor& operator=(const StandInCompositor&) = delete;

  int answered() const { return answered_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      const timeval limit{5, 0};
      ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
      // wl_display.sync: object 1, size 12 and opcode 0, the new callback's id.
      uint32_t sync[3];
      if (::recv(client, sync, sizeof(sync), MSG_WAITALL) == static_cast<ssize_t>(sizeof(sync)) &&
          sync[0] == 1 && sync[1] == ((12u << 16) | 0)) {
        // wl_callback.done on that id: size 12, opcode 0, a serial.
        const uint32_t done[3] = {sync[2], (12u << 16) | 0, 1};
        if (::send(client, done, sizeof(done), MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof(done))) {
          ++answered_;
        }
      }
      ::close(client);
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::atomic<int> answered_{0};
  std::thread thread_;
};

// A program folder with Kavel, its database reader, its window module and the sample database,
// and a display for the program to find.
class KavelWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.AddWindowModule();
    ASSERT_TRUE(jet::WriteSampleDatabase(folder_.File("Data.Rpt"), {}).ok);
    ::chmod(runtime_.path().c_str(), 0700);
  }

  ProcessResult Run(const std::vector<std::string>& args) {
    // Under the sanitizers the preloaded watcher comes before their runtime; that is fine here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    return folder_.RunWith(
        {"WAYLAND_DISPLAY=" + compositor_socket_, "XDG_RUNTIME_DIR=" + runtime_.path(),
         "XDG_CONFIG_HOME=" + runtime_.path() + "config", "QT_QPA_PLATFORM=offscreen",
         "LD_PRELOAD=" KAVEL_WINDOW_WATCHER,
         "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") +
             ":verify_asan_link_order=0:detect_leaks=0"},
        args);
  }

  std::vector<std::string> TwoLogLines() const {
    return {"年月:" + kCaption, "DBsource:" + folder_.path() + "Data.Rpt"};
  }

  ProgramFolder folder_;
  common::TempFolderForTesting runtime_;  // the display's socket and the user's settings
  const std::string compositor_socket_ = runtime_.path() + "wayland-kavel-test";
  StandInCompositor compositor_{compositor_socket_};
};

// An export kind writes its list and flag with the windows (the progress window) in place of
// standard error.
TEST_F(KavelWindowTest, ExportKindWritesItsListAndFlag) {
  ProcessResult run = Run({kCaption, "", "1"});

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(compositor_.answered(), 1);
  // Qt ran: the window module was loaded, and did not fall back to a run without windows.
  EXPECT_NE(run.out.find("qt: started\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err.find("Kavel: "), std::string::npos) << run.err;
  const std::string pdf = folder_.File("RepChk.pdf");
  ASSERT_TRUE(folder_.Exists("RepChk.pdf"));
  EXPECT_TRUE(QpdfCheck(pdf));
  ASSERT_GE(PdfPageCount(pdf), 1);
  EXPECT_NE(PageText(PdfWords(pdf).at(0)).find(kCaption), std::string::npos);
  EXPECT_EQ(folder_.ParamFlags(), (std::map<std::string, std::string>{{"PDF", "1"}}));
  EXPECT_EQ(folder_.LogTexts(), TwoLogLines());
}

// A preview kind opens the preview window with the prepared list; once the user closes it the
// run ends, having written nothing but the log.
TEST_F(KavelWindowTest, PreviewKindShowsThePreviewAndEndsWhenItIsClosed) {
  ProcessResult run = Run({kCaption, "", "2"});

  EXPECT_EQ(run.exit_code, 0);  // 124 when the window stayed open
  EXPECT_NE(run.out.find("qt: started\n"), std::string::npos) << run.out;
  const size_t preview = run.out.find("preview: ");
  ASSERT_NE(preview, std::string::npos) << run.out;
  const std::string line = run.out.substr(preview, run.out.find('\n', preview) - preview);
  EXPECT_NE(line.find(" ページ"), std::string::npos) << line;  // the pages were prepared
  EXPECT_EQ(run.err.find("Kavel: "), std::string::npos) << run.err;
  EXPECT_EQ(folder_.Entries(),
            (std::vector<std::string>{"Data.Rpt", "Kavel", "Pdf.log", "kavel_window.so"}));
  EXPECT_EQ(folder_.LogTexts(), TwoLogLines());
}

}  // namespace
}  // namespace kavel_e2e

// Faults on the way: each ends the run as it should and leaves the installed files exactly as
// they were. Also the progress display and cancelling a run from the window.
#include <gmock/gmock.h>
#include <signal.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/tolvan_flow/flow_fixture.h"

namespace tolvan_test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

TEST_F(FlowTest, FailedDownloadEndsTheRunAndLeavesEverythingInstalledAsItWas) {
  const struct {
    const char* name;
    const char* rule;   // for GET of the database
    const char* error;  // part of the reported error
  } cases[] = {
      {"connection dropped mid-body", R"({"drop_after": 100000})", "通信エラー"},
      {"server stalls", R"({"stall": 5, "stall_after": 1000})", "サーバーからの応答がありません。"},
      {"server error", R"({"status": 503})", "HTTP/1.1 503"},
      {"not found", R"({"status": 404})", "HTTP/1.1 404"},
      {"redirect", R"({"status": 302, "location": "/data/QX/UList"})", "HTTP/1.1 302"},
  };
  TestServer& server = StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\n");
  const std::string master = Installed("MST.FDB");
  const std::string program = Installed("Norvik.exe");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    // What an earlier run fetched stays as it was.
    std::filesystem::create_directories(pf_ + "DownLoad");
    WriteFile(pf_ + "DownLoad/MST.FDB", "earlier download");
    server.SetRules(std::string(R"({"GET /data/QX/MST.FDB": )") + c.rule + "}");
    tolvan::UpdateFlow& flow = Run();
    const auto errors = ui_.CallsOf("error:");
    ASSERT_THAT(errors, SizeIs(1));
    EXPECT_THAT(errors[0], HasSubstr(c.error));
    EXPECT_TRUE(Installed("MST.FDB") == master);
    EXPECT_TRUE(Installed("Norvik.exe") == program);
    EXPECT_FALSE(flow.bMaster());
    EXPECT_EQ(ReadFile(pf_ + "DownLoad/MST.FDB"), "earlier download");
    EXPECT_THAT(FilesIn("DownLoad"), ElementsAre("MST.FDB", "UList"));  // no temporary file
    // The window stays open, as the run left it; no decision was taken.
    EXPECT_EQ(ui_.Count("close"), 0u);
    EXPECT_EQ(ui_.Count("button1"), 0u);
    EXPECT_EQ(ui_.CallsOf("busy:").back(), "1");
    EXPECT_THAT(starter_.opened(), IsEmpty());
    EXPECT_EQ(Ini("UPD", "Download"), "");  // the list download had completed
    EXPECT_EQ(Ini("CALL", "STATUS"), "<absent>");
    UserCloses();
    EXPECT_THAT(starter_.opened(), IsEmpty());
  }
}

TEST_F(FlowTest, FailedFirstDownloadOfTheCopyRouteSkipsTheSecond) {
  TestServer& server = StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
  server.SetRules(R"({"GET /data/QX/Norvik.exe": {"drop_after": 2000}})");
  SetIni("UPDATE", "NOSETUP", "1");
  ui_.dsp_answer = 1;
  const std::string master = Installed("MST.FDB");
  const std::string program = Installed("Norvik.exe");
  Run();
  EXPECT_THAT(ui_.CallsOf("error:"), SizeIs(1));
  for (const std::string& r : server.RequestLog()) EXPECT_EQ(r.find("MST.FDB"), std::string::npos);
  EXPECT_TRUE(Installed("MST.FDB") == master);
  EXPECT_TRUE(Installed("Norvik.exe") == program);
  EXPECT_TRUE(std::filesystem::exists(pf_ + "BKData"));  // the backup stays
}

TEST_F(FlowTest, ListDownloadFailureLeavesDownloadMarkerSoClosingStartsTheMainApplication) {
  TestServer& server = StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\n");
  server.SetRules(R"({"GET /data/QX/UList": {"status": 404}})");
  Run();
  EXPECT_THAT(ui_.CallsOf("error:"), ElementsAre("HTTP/1.1 404 Not Found"));
  EXPECT_FALSE(std::filesystem::exists(pf_ + "DownLoad/UList"));
  EXPECT_EQ(Ini("UPD", "Download"), "1");
  EXPECT_THAT(starter_.opened(), IsEmpty());
  UserCloses();
  EXPECT_THAT(starter_.opened(), ElementsAre(pf_ + "Norvik.exe"));
}

TEST_F(FlowTest, UnusableTlsCountsAsNoConnection) {
  for (const auto mode : {TestServer::Mode::kUntrusted, TestServer::Mode::kTls13Only}) {
    SCOPED_TRACE(mode == TestServer::Mode::kUntrusted ? "untrusted certificate" : "TLS 1.3 only");
    NewWindow();
    server_.reset();
    TestServer& server = StartServer(mode);
    Serve("UList", "MST.FDB,1.0.0.3\r\n");
    const std::string master = Installed("MST.FDB");
    Run();
    EXPECT_THAT(ui_.CallsOf("message:"), ElementsAre("w:インターネットに接続されていません"));
    EXPECT_EQ(Ini("PARAM", "NOUPD"), "9");
    EXPECT_TRUE(Installed("MST.FDB") == master);
    EXPECT_THAT(starter_.opened(), SizeIs(1));
    // Nothing was ever asked over such a connection.
    EXPECT_THAT(server.RequestLog(), IsEmpty());
  }
}

TEST_F(FlowTest, TrustStoreMayBeAHashedFolderNamedBySslCertDir) {
  StartServer();
  Serve("UList", "Norvik.exe,2.0.0.2\r\n");
  const std::string store = root_.path() + "store/";
  std::filesystem::create_directories(store);
  std::filesystem::copy_file(Certificates().ca, store + "test-ca.pem");
  ASSERT_EQ(std::system(("openssl rehash " + store + " 2>/dev/null").c_str()), 0);
  ::unsetenv("SSL_CERT_FILE");
  ::setenv("SSL_CERT_DIR", store.c_str(), 1);
  Run();
  TrustTestCa();
  EXPECT_EQ(Ini("PARAM", "NOUPD"), "1");
  EXPECT_THAT(ui_.CallsOf("message:"), IsEmpty());
}

TEST_F(FlowTest, ServerThatNeverCompletesTheHandshakeEndsTheProbeAtTheConnectTimeout) {
  // Connections to this socket are accepted by the kernel and then left without an answer.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  SetIni("PARAM", "NVKMST",
         "https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/data/QX/");
  connect_timeout_ms_ = 1000;
  Run();
  ::close(listener);
  EXPECT_THAT(ui_.CallsOf("message:"), ElementsAre("w:インターネットに接続されていません"));
  EXPECT_EQ(Ini("PARAM", "NOUPD"), "9");
  EXPECT_THAT(starter_.opened(), SizeIs(1));
}

// A full disk during a download: writes beyond a file-size limit fail as they would on a full
// file system.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  sighandler_t old_handler_;
};

TEST_F(FlowTest, FullDiskDuringDownloadEndsTheRunWithoutTouchingInstalledFiles) {
  TestServer& server = StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\n");
  Serve("MST.FDB", std::string(2000000, 'N'));
  const std::string master = Installed("MST.FDB");
  for (const char* rules : {"{}", R"({"GET /data/QX/MST.FDB": {"no_length": true}})"}) {
    SCOPED_TRACE(rules);
    NewWindow();
    std::filesystem::remove_all(pf_ + "DownLoad");
    server.SetRules(rules);
    {
      FileSizeLimit limit(500000);
      Run();
    }
    const auto errors = ui_.CallsOf("error:");
    ASSERT_THAT(errors, SizeIs(1));
    EXPECT_THAT(errors[0], HasSubstr("ディスクの空き容量が不足しています。"));
    EXPECT_TRUE(Installed("MST.FDB") == master);
    EXPECT_THAT(FilesIn("DownLoad"), ElementsAre("UList"));
  }
}

TEST_F(FlowTest, ProgressFollowsTheBodyAndCountsDownTheRemainingBytes) {
  TestServer& server = StartServer();
  const std::string body(1000000, 'P');
  Serve("Big", body);
  for (const bool announced : {true, false}) {
    SCOPED_TRACE(announced ? "with length" : "without length");
    NewWindow();
    server.SetRules(announced ? "{}" : R"({"/data/QX/Big": {"no_length": true}})");
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    std::filesystem::create_directories(pf_ + "DownLoad");
    EXPECT_FALSE(flow.AutoDl(pf_ + "DownLoad/Big", server.Url("/data/QX/Big")));
    EXPECT_TRUE(ReadFile(pf_ + "DownLoad/Big") == body);
    EXPECT_THAT(ui_.CallsOf("progress-max:"),
                ElementsAre(announced ? std::to_string(body.size()) : "0"));
    std::vector<int64_t> positions;
    for (const std::string& p : ui_.CallsOf("progress:")) positions.push_back(std::stoll(p));
    ASSERT_GE(positions.size(), 3u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), static_cast<int64_t>(body.size()));
    std::vector<int64_t> remaining;
    for (const std::string& s : ui_.CallsOf("status:残り　")) {
      ASSERT_THAT(s, testing::EndsWith(" バイト"));
      remaining.push_back(std::stoll(s));
    }
    ASSERT_EQ(remaining.size(), positions.size() - 1);
    for (size_t i = 0; i < remaining.size(); ++i) {
      EXPECT_EQ(remaining[i], announced ? static_cast<int64_t>(body.size()) - positions[i + 1] : 0);
    }
    EXPECT_EQ(ui_.LastStatus(), "ダウンロード終了");
    EXPECT_EQ(ui_.CallsOf("progress-visible:").back(), "0");
    EXPECT_EQ(Ini("UPD", "Download"), "");
  }
}

TEST_F(FlowTest, ClosingTheWindowStopsADownloadAndTouchesNothingMore) {
  TestServer& server = StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\n");
  server.SetRules(R"({"GET /data/QX/MST.FDB": {"stall": 30, "stall_after": 50000}})");
  stall_timeout_ms_ = 60000;  // only the close may end this download
  const std::string master = Installed("MST.FDB");
  tolvan::UpdateFlow& flow = MakeFlow();
  flow.IniSet();
  std::thread worker([&] { flow.FormActivate(); });
  // Wait until the body is arriving.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  const auto database_arriving = [this] {
    for (const std::string& p : ui_.CallsOf("progress:")) {
      if (std::stoll(p) >= 16384) return true;
    }
    return false;
  };
  while (!database_arriving() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(database_arriving());
  const auto closed_at = std::chrono::steady_clock::now();
  UserCloses();
  const std::string log_at_close = ReadFile(pf_ + "Log/Update.log");
  const std::string ini_at_close = ReadFile(pf_ + "user.ini");
  worker.join();
  const auto stopped_after = std::chrono::steady_clock::now() - closed_at;
  std::cout << "run stopped "
            << std::chrono::duration_cast<std::chrono::milliseconds>(stopped_after).count()
            << " ms after the close\n";
  EXPECT_THAT(ui_.CallsOf("error:"), IsEmpty());
  EXPECT_EQ(ui_.Count("close"), 0u);
  EXPECT_EQ(ReadFile(pf_ + "Log/Update.log"), log_at_close);
  EXPECT_EQ(ReadFile(pf_ + "user.ini"), ini_at_close);
  EXPECT_TRUE(Installed("MST.FDB") == master);
  EXPECT_THAT(FilesIn("DownLoad"), ElementsAre("UList"));
  EXPECT_THAT(starter_.opened(), IsEmpty());  // the list download had completed
}

TEST_F(FlowTest, ClosingTheWindowWhileTheDialogIsOpenAppliesNothing) {
  StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
  const std::string master = Installed("MST.FDB");
  ui_.dsp_answer = 1;
  ui_.while_asking = [this] { UserCloses(); };
  Run();
  EXPECT_THAT(ui_.Calls().back(), StartsWith("dspset:"));  // nothing after the dialog
  EXPECT_TRUE(Installed("MST.FDB") == master);
  EXPECT_THAT(starter_.opened(), IsEmpty());
  EXPECT_THAT(starter_.ran_as(), IsEmpty());
}

}  // namespace
}  // namespace tolvan_test

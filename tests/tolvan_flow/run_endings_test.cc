// How a run ends: the table of endings with the user.ini markers, log lines and starts of the
// main application; the disk-space gate; the base URL; what goes over the wire.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "tests/tolvan_flow/flow_fixture.h"

namespace tolvan_test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST_F(FlowTest, EachEndingSetsItsMarkersAndStartsTheMainApplicationOnce) {
  const std::string kInstalledMaster = Installed("MST.FDB");
  const std::string kInstalledProgram = Installed("Norvik.exe");
  const struct {
    const char* name;
    const char* list;         // served UList; nullptr: none on the server
    const char* rules;        // server rules
    int32_t dsp_answer;
    const char* nosetup;
    const char* noupd;        // [PARAM] NOUPD afterwards
    const char* download;     // [UPD] Download afterwards
    size_t main_starts;       // starts of Norvik.exe
    size_t installer_starts;  // elevated starts of DownLoad/Setup.exe
    bool master_replaced, program_replaced;
    const char* last_status;
    const char* message;      // the one message box, or ""
    const char* last_log;     // the run's last log line; "%u" is the base URL, "%d" DownLoad/
  } rows[] = {
      {"no new update", "MST.FDB,1.0.0.2\r\nNorvik.exe,2.0.0.2\r\n", "{}", 0, "", "1", "", 1, 0,
       false, false, "新しい更新はありません", "", "新しい更新なし"},
      {"server error at the probe", "Norvik.exe,2.0.0.3\r\n",
       R"({"HEAD /data/QX/UList": {"status": 503}})", 0, "", "9", "1", 1, 0, false, false,
       "インターネットに接続されていません",
       "w:サーバーエラー。少し時間が経ってから再度行ってください。",
       "サーバーエラー。少し時間が経ってから再度行ってください。"},
      {"list missing on the server", nullptr, "{}", 0, "", "", "1", 1, 0, false, false,
       "更新用ファイルが見つかりません",
       "i:指定したページまたはファイルが見つかりませんでした．", "%d更新用ファイルなし"},
      {"nothing chosen", "Norvik.exe,2.0.0.3\r\n", "{}", 0, "", "", "", 1, 0, false, false,
       "ダウンロード終了", "", "UListチェック終了"},
      {"master database only, without asking", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.2\r\n", "{}",
       0, "", "", "", 1, 0, true, false, "更新終了", "", "%uMST.FDBダウンロード終了"},
      {"program and master by copying", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n", "{}", 1, "1",
       "", "", 1, 0, true, true, "更新終了", "", "%uMST.FDBダウンロード終了"},
      {"installer", "Norvik.exe,2.0.0.3\r\n", "{}", 1, "", "", "", 0, 1, false, false,
       "ダウンロード終了", "", "Setup.exeないためダウンロード"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // A fresh installation and window per row; the server keeps running.
    NewWindow();
    std::filesystem::remove_all(pf_ + "DownLoad");
    std::filesystem::remove_all(pf_ + "BKData");
    std::filesystem::remove(pf_ + "user.ini");
    std::filesystem::remove(pf_ + "Log/Update.log");
    Install("MST.FDB", kInstalledMaster);
    Install("Norvik.exe", kInstalledProgram);
    SetIni("PARAM", "DBVERSION", "1.0.0.2");
    SetIni("PARAM", "NOUPD", "stale");
    SetIni("UPDATE", "NOSETUP", row.nosetup);
    SetIni("Data", "DataBaseName", pf_ + "NV.FDB");
    Install("NV.FDB", "user database");
    if (!server_) {
      StartServer();
    } else {
      SetIni("PARAM", "NVKMST", server_->Url("/data/QX/"));
    }
    server_->SetRules(row.rules);
    std::filesystem::remove(served_ + "UList");
    if (row.list != nullptr) Serve("UList", row.list);
    ui_.dsp_answer = row.dsp_answer;

    Run();

    EXPECT_EQ(Ini("PARAM", "NOUPD"), row.noupd);
    EXPECT_EQ(Ini("UPD", "Download"), row.download);
    EXPECT_EQ(Ini("EXPAND", "STAUS"), "START");
    EXPECT_EQ(Ini("CALL", "STATUS"), "1");
    EXPECT_EQ(starter_.opened().size(), row.main_starts);
    for (const std::string& started : starter_.opened()) EXPECT_EQ(started, pf_ + "Norvik.exe");
    ASSERT_EQ(starter_.ran_as().size(), row.installer_starts);
    if (row.installer_starts > 0) {
      EXPECT_EQ(starter_.ran_as()[0], pf_ + "DownLoad/Setup.exe");
    }
    EXPECT_EQ(ui_.Count("close"), 1u);
    EXPECT_EQ(Installed("MST.FDB") == Served("MST.FDB"), row.master_replaced);
    if (!row.master_replaced) {
      EXPECT_TRUE(Installed("MST.FDB") == kInstalledMaster);
    }
    EXPECT_EQ(Installed("Norvik.exe") == Served("Norvik.exe"), row.program_replaced);
    if (!row.program_replaced) {
      EXPECT_TRUE(Installed("Norvik.exe") == kInstalledProgram);
    }
    EXPECT_EQ(std::filesystem::exists(pf_ + "BKData"), row.program_replaced);
    EXPECT_EQ(ui_.LastStatus(), row.last_status);
    const auto messages = ui_.CallsOf("message:");
    if (*row.message == '\0') {
      EXPECT_THAT(messages, IsEmpty());
    } else {
      EXPECT_THAT(messages, ElementsAre(row.message));
    }
    EXPECT_THAT(ui_.CallsOf("error:"), IsEmpty());
    std::string last_log = row.last_log;
    if (const size_t at = last_log.find("%u"); at != std::string::npos) {
      last_log.replace(at, 2, server_->Url("/data/QX/"));
    }
    if (const size_t at = last_log.find("%d"); at != std::string::npos) {
      last_log.replace(at, 2, pf_ + "DownLoad/");
    }
    const std::vector<std::string> run_log = RunLogTexts();
    ASSERT_FALSE(run_log.empty());
    EXPECT_EQ(run_log.back(), last_log);
  }
}

TEST_F(FlowTest, NoNewUpdateRunLogsEveryStep) {
  StartServer();
  Serve("UList", "MST.FDB,1.0.0.2\r\nNorvik.exe,2.0.0.2\r\nSetup.exe,9.0.0.0\r\n");
  Run();
  const std::string url = server_->Url("/data/QX/");
  const std::vector<std::string> log = LogTexts();
  ASSERT_GE(log.size(), 9u);
  EXPECT_EQ(log[0], pf_ + "DownLoad/作成");
  // The probe's connection: two HEAD requests on one connection, then closed.
  EXPECT_THAT(std::vector<std::string>(log.begin() + 1, log.begin() + 7),
              ElementsAre("ステータス=ホスト名 127.0.0.1 を解決しています。",
                          "ステータス=127.0.0.1 に接続しています。", "ステータス=接続しました。",
                          "ステータス=接続解除しています。", "ステータス=接続解除されました。",
                          "切断されました"));
  const std::vector<std::string> run_log = RunLogTexts();
  ASSERT_EQ(run_log.size(), 10u);
  EXPECT_EQ(run_log[1], "最終UList更新日時：");
  EXPECT_THAT(run_log[2], testing::MatchesRegex("サーバーUList更新日時：[0-9]{12}"));
  EXPECT_THAT(std::vector<std::string>(run_log.begin() + 3, run_log.end()),
              ElementsAre(url + "UListダウンロード終了", "UListダウンロード", "UListチェック開始",
                          "MST.FDB 最新バージョン=1.0.0.2 ローカルバージョン=1.0.0.2",
                          "Norvik.exe 最新バージョン=2.0.0.2 ローカルバージョン=2.0.0.2",
                          "UListチェック終了", "新しい更新なし"));
  EXPECT_EQ(Ini("UPD", "TIME"), run_log[2].substr(run_log[2].size() - 12));
  // The list download has its own connection, opened and closed around it.
  EXPECT_EQ(std::count(log.begin(), log.end(), "切断されました"), 2);
  EXPECT_TRUE(ReadFile(pf_ + "DownLoad/UList") == Served("UList"));
  EXPECT_THAT(FilesIn("DownLoad"), ElementsAre("UList"));  // no temporary file left
}

TEST_F(FlowTest, RequestsCarryTheFixedHeadersOverTls12AndReuseTheProbeConnection) {
  TestServer& server = StartServer();
  Serve("UList", "Norvik.exe,2.0.0.2\r\n");
  // A proxy named by the environment is not used: nothing listens there.
  for (const char* variable : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::setenv(variable, "http://127.0.0.1:1", 1);
  }
  Run();
  for (const char* variable : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::unsetenv(variable);
  }
  EXPECT_EQ(Ini("PARAM", "NOUPD"), "1");
  const std::vector<std::string> requests = server.RequestLog();
  ASSERT_EQ(requests.size(), 3u);  // HEAD, HEAD, GET
  const std::regex port(R"("port": (\d+))");
  std::vector<std::string> ports;
  for (const std::string& r : requests) {
    EXPECT_THAT(r, HasSubstr(R"x("User-Agent": "Mozilla/3.0 (compatible; Indy Library)")x"));
    EXPECT_THAT(r, HasSubstr(
        R"("Accept": "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8")"));
    EXPECT_THAT(r, HasSubstr(R"("tls": "TLSv1.2")"));
    EXPECT_THAT(r, Not(HasSubstr("Range")));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r, m, port));
    ports.push_back(m[1]);
  }
  EXPECT_THAT(requests[0], HasSubstr(R"("method": "HEAD")"));
  EXPECT_THAT(requests[2], HasSubstr(R"("method": "GET")"));
  EXPECT_EQ(ports[0], ports[1]);  // the second HEAD reuses the first one's connection
  EXPECT_NE(ports[1], ports[2]);  // the probe closed it
}

TEST_F(FlowTest, BaseUrlWithoutTrailingSlashIsUsedAsItIs) {
  TestServer& server = StartServer();
  SetIni("PARAM", "NVKMST", server.Url("/data/QX"));
  std::filesystem::create_directories(root_.path() + "srv/data");
  WriteFile(root_.path() + "srv/data/QXUList", "Norvik.exe,2.0.0.2\r\n");
  tolvan::UpdateFlow& flow = Run();
  EXPECT_EQ(flow.URL(), server.Url("/data/QX"));
  EXPECT_THAT(server.RequestLog(), Contains(HasSubstr(R"("path": "/data/QXUList")")));
  EXPECT_EQ(Ini("PARAM", "NOUPD"), "1");
}

// Program files fetched from the server are run afterwards: an address that is not https is
// treated as a server that cannot be reached, and not even a connection is made.
TEST_F(FlowTest, AddressThatIsNotHttpsFetchesNothing) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string host = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  for (const std::string& url : {"http://" + host + "/data/QX/", "HTTP://" + host + "/data/QX/",
                                "ftp://" + host + "/data/QX/", "//" + host + "/data/QX/"}) {
    SCOPED_TRACE(url);
    NewWindow();
    std::filesystem::remove(pf_ + "Log/Update.log");
    SetIni("PARAM", "NVKMST", url);
    Run();
    EXPECT_THAT(RunLogTexts(), Contains("httpsでないため接続しません：" + url));
    EXPECT_THAT(ui_.CallsOf("message:"), ElementsAre("w:インターネットに接続されていません"));
    EXPECT_EQ(Ini("PARAM", "NOUPD"), "9");
    EXPECT_EQ(starter_.opened().size(), 1u);
    EXPECT_THAT(FilesIn("DownLoad"), IsEmpty());
    EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "a connection was made";
  }
  ::close(listener);
}

TEST_F(FlowTest, BuiltInBaseUrlIsHttpsUnderDataQx) {
  tolvan::UpdateFlow& flow = MakeFlow();
  flow.IniSet();
  EXPECT_THAT(flow.URL(), testing::MatchesRegex("https://[^/]+/data/QX/"));
  EXPECT_EQ(flow.mstLogPath(), pf_ + "Log/Update.log");
  EXPECT_TRUE(std::filesystem::is_directory(pf_ + "Log"));
  EXPECT_EQ(Ini("EXPAND", "STAUS"), "START");
}

TEST_F(FlowTest, DiskGatePassesAtExactlyTheNeededMegabytes) {
  const int64_t kMb = 1024 * 1024;
  const struct {
    const char* disk;  // [PARAM] DISK; nullptr: absent
    int64_t free_bytes;
    const char* shown_need;  // nullptr: the gate passes
    const char* shown_free;
  } cases[] = {
      {nullptr, 150 * kMb, nullptr, nullptr},
      {nullptr, 150 * kMb - 1, "150", "149"},
      {"abc", 150 * kMb - 1, "150", "149"},
      {"", 150 * kMb - 1, "150", "149"},
      {"200", 200 * kMb + kMb - 1, nullptr, nullptr},
      {"200", 199 * kMb + 123, "200", "199"},
      {"0", 0, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.disk ? c.disk : "(absent)") + " " + std::to_string(c.free_bytes));
    NewWindow();
    std::filesystem::remove_all(pf_ + "Log");
    std::filesystem::remove(pf_ + "user.ini");
    if (c.disk != nullptr) SetIni("PARAM", "DISK", c.disk);
    // Nothing listens there: a run that gets past the gate ends at the probe.
    SetIni("PARAM", "NVKMST", "https://127.0.0.1:1/data/QX/");
    free_bytes_ = c.free_bytes;
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    const std::string ini_before = ReadFile(pf_ + "user.ini");
    flow.FormActivate();
    if (c.shown_need == nullptr) {
      EXPECT_EQ(Ini("PARAM", "NOUPD"), "9");
      continue;
    }
    EXPECT_THAT(ui_.Calls(),
                ElementsAre(std::string("message:w:容量不足のため更新できません\r") + c.shown_need +
                                "MB以上の空き容量が必要です\r空き容量：" + c.shown_free +
                                "MB\r空き容量を増やした後、再度マスター更新を行ってください",
                            "button1"));
    EXPECT_EQ(ReadFile(pf_ + "user.ini"), ini_before);  // nothing written
    EXPECT_FALSE(std::filesystem::exists(pf_ + "Log/Update.log"));
    EXPECT_THAT(starter_.opened(), IsEmpty());  // the window waits for Button1
    flow.Button1Click();
    EXPECT_EQ(starter_.opened().size(), 1u);
    EXPECT_EQ(ui_.Count("close"), 1u);
  }
}

TEST_F(FlowTest, OneRunPerProgramStart) {
  StartServer();
  Serve("UList", "Norvik.exe,2.0.0.2\r\n");
  tolvan::UpdateFlow& flow = Run();
  const size_t calls = ui_.Calls().size();
  const size_t requests = server_->RequestLog().size();
  flow.FormActivate();  // the window becomes active again
  EXPECT_EQ(ui_.Calls().size(), calls);
  EXPECT_EQ(server_->RequestLog().size(), requests);
}

TEST_F(FlowTest, ClosedWindowStartsTheMainApplicationOnlyWhileDownloadReadsOne) {
  const struct {
    const char* stored;  // the line in user.ini
    size_t starts;
  } cases[] = {
      {"Download=1", 1},
      {"Download= 1 ", 1},         // blanks are dropped by the settings read
      {"Download=\" 1\"", 0},      // inside quotation marks they stay
      {"Download=", 0},
      {"Download=11", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    NewWindow();
    WriteFile(pf_ + "user.ini", std::string("[UPD]\r\n") + c.stored + "\r\n");
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    UserCloses();
    EXPECT_EQ(starter_.opened().size(), c.starts);
    if (c.starts > 0) {
      EXPECT_EQ(Ini("CALL", "STATUS"), "1");
    }
  }
}

TEST_F(FlowTest, FailedStartOfTheMainApplicationWarns) {
  starter_.set_open_ok(false);
  tolvan::UpdateFlow& flow = MakeFlow();
  flow.IniSet();
  flow.Button1Click();
  EXPECT_THAT(ui_.CallsOf("message:"), ElementsAre("w:ベルタンQX インストール版が起動できません"));
  EXPECT_EQ(Ini("CALL", "STATUS"), "1");
  EXPECT_EQ(ui_.Count("close"), 1u);
}

}  // namespace
}  // namespace tolvan_test

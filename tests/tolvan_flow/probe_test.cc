// The list probe: HEAD status, the remembered modification time [UPD] TIME, its messages and
// log lines; CheckHTTPUrl on its own.
#include <gmock/gmock.h>

#include <ctime>

#include "tests/tolvan_flow/flow_fixture.h"

namespace tolvan_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// "Wed, 01 May 2024 00:30:00 GMT" in local time as the probe stores it.
std::string May1stLocal() {
  const std::time_t t = 1714523400;
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d%H%M", &local);
  return text;
}

TEST_F(FlowTest, ProbeComparesTheListTimeWithTheRememberedOne) {
  const std::string kMay1st = May1stLocal();
  const std::string kHeader = R"("Wed, 01 May 2024 00:30:00 GMT")";
  const struct {
    const char* name;
    const char* last_modified;  // JSON value of the rule
    const char* remembered;     // [UPD] TIME before; nullptr: absent
    int32_t result;
    std::string stored;
  } cases[] = {
      {"nothing remembered", kHeader.c_str(), nullptr, 1, kMay1st},
      {"same time", kHeader.c_str(), kMay1st.c_str(), 0, kMay1st},
      {"older remembered", kHeader.c_str(), "202404010000", 1, kMay1st},
      {"newer remembered", kHeader.c_str(), "209901010000", 0, kMay1st},
      {"no header, nothing remembered", "null", nullptr, 1, "189912300000"},
      {"no header", "null", "202404010000", 0, "189912300000"},
      {"unreadable header", R"("not a date")", "202404010000", 0, "189912300000"},
  };
  TestServer& server = StartServer();
  Serve("UList", "x");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    std::filesystem::remove(pf_ + "Log/Update.log");
    std::filesystem::remove(pf_ + "user.ini");
    SetIni("PARAM", "NVKMST", server.Url("/data/QX/"));
    if (c.remembered != nullptr) SetIni("UPD", "TIME", c.remembered);
    server.SetRules(std::string(R"({"/data/QX/UList": {"last_modified": )") + c.last_modified +
                    "}}");
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    EXPECT_EQ(static_cast<int32_t>(flow.Tolvan("UList")), c.result);
    EXPECT_EQ(Ini("UPD", "TIME"), c.stored);
    EXPECT_THAT(RunLogTexts(),
                ElementsAre(std::string("最終UList更新日時：") + (c.remembered ? c.remembered : ""),
                            "サーバーUList更新日時：" + c.stored));
    EXPECT_THAT(ui_.Calls(), ElementsAre("status-visible:1", "status:更新ファイルチェック中です",
                                         "busy:1", "busy:0"));
  }
}

TEST_F(FlowTest, ProbeReportsMissingListServerErrorsAndNoAnswer) {
  const struct {
    const char* rules;  // nullptr: no server at all
    int32_t result;
    const char* message;
    const char* log;    // "%u" stands for the list's URL
  } cases[] = {
      {R"({"/data/QX/UList": {"status": 404}})", 3,
       "i:指定したページまたはファイルが見つかりませんでした．", "指定した%uが見つかりませんでした"},
      {R"({"/data/QX/UList": {"status": 500}})", 9,
       "w:サーバーエラー。少し時間が経ってから再度行ってください。",
       "サーバーエラー。少し時間が経ってから再度行ってください。"},
      {R"({"/data/QX/UList": {"status": 599}})", 9,
       "w:サーバーエラー。少し時間が経ってから再度行ってください。",
       "サーバーエラー。少し時間が経ってから再度行ってください。"},
      {nullptr, 9, "w:インターネットに接続されていません", "インターネットに接続されていません"},
  };
  TestServer& server = StartServer();
  Serve("UList", "x");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rules ? c.rules : "no server");
    NewWindow();
    std::filesystem::remove(pf_ + "Log/Update.log");
    const std::string base =
        c.rules != nullptr ? server.Url("/data/QX/") : "https://127.0.0.1:1/data/QX/";
    SetIni("PARAM", "NVKMST", base);
    SetIni("UPD", "TIME", "202001010000");
    if (c.rules != nullptr) server.SetRules(c.rules);
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    EXPECT_EQ(static_cast<int32_t>(flow.Tolvan("UList")), c.result);
    EXPECT_EQ(Ini("UPD", "TIME"), "202001010000");  // untouched
    EXPECT_THAT(ui_.CallsOf("message:"), ElementsAre(c.message));
    std::string log = c.log;
    if (const size_t at = log.find("%u"); at != std::string::npos) {
      log.replace(at, 2, base + "UList");
    }
    EXPECT_THAT(RunLogTexts(), ElementsAre(log));
    EXPECT_EQ(ui_.CallsOf("busy:").back(), "0");
  }
}

TEST_F(FlowTest, ProbeFailsTheRunOnOtherStatuses) {
  TestServer& server = StartServer();
  Serve("UList", "x");
  for (const char* rules : {R"({"/data/QX/UList": {"status": 302, "location": "/elsewhere"}})",
                            R"({"/data/QX/UList": {"status": 401}})"}) {
    SCOPED_TRACE(rules);
    NewWindow();
    server.SetRules(rules);
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    EXPECT_THROW(flow.Tolvan("UList"), tolvan::RunError);
    EXPECT_THAT(ui_.CallsOf("message:"), IsEmpty());
    EXPECT_EQ(ui_.CallsOf("busy:").back(), "1");  // the busy cursor stays
  }
  // Through the whole run: the error is reported once and the window stays open.
  NewWindow();
  server.SetRules(R"({"/data/QX/UList": {"status": 302, "location": "/elsewhere"}})");
  Run();
  EXPECT_THAT(ui_.CallsOf("error:"), ElementsAre("HTTP/1.1 302 Found"));
  EXPECT_EQ(ui_.Count("close"), 0u);
  EXPECT_EQ(ui_.Count("button1"), 0u);
  EXPECT_EQ(Ini("UPD", "Download"), "1");
  // The redirect was not followed.
  for (const std::string& r : server.RequestLog()) EXPECT_EQ(r.find("/elsewhere"), std::string::npos);
}

TEST_F(FlowTest, CheckHttpUrlGivesTheStatusOr999) {
  TestServer& server = StartServer();
  Serve("UList", "x");
  server.SetRules(R"({"/data/QX/gone": {"status": 404}, "/data/QX/busy": {"status": 503},
                      "/data/QX/moved": {"status": 302, "location": "https://example.org/"}})");
  tolvan::UpdateFlow& flow = MakeFlow();
  flow.IniSet();
  const struct {
    std::string url;
    int32_t status;
  } cases[] = {
      {server.Url("/data/QX/UList"), 200},
      {server.Url("/data/QX/gone"), 404},
      {server.Url("/data/QX/busy"), 503},
      {server.Url("/data/QX/moved"), 302},
      {"https://127.0.0.1:1/data/QX/UList", 999},
  };
  for (const auto& c : cases) {
    std::string url = c.url;
    EXPECT_EQ(flow.CheckHTTPUrl(url), c.status) << c.url;
    EXPECT_EQ(url, c.url);
  }
}

}  // namespace
}  // namespace tolvan_test

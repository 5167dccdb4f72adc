// The update run's decisions with a scripted HTTP client instead of the TLS server: what each
// probe answer makes of the run, a download that breaks off or is cancelled half-way, and the
// copy route that installs both files or neither.
#include <gmock/gmock.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>

#include "tests/tolvan_flow/flow_fixture.h"
#include "tests/tolvan_flow/scripted_http.h"

namespace tolvan_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using Answer = HttpScript::Answer;
using tolvan::ListProbe;

// 2024-05-01 00:30:00 UTC.
constexpr int64_t kListTime = 1714523400;

// FlowTest with the scripted server at kScriptedBase.
class ScriptedFlowTest : public FlowTest {
 protected:
  ScriptedFlowTest() { SetIni("PARAM", "NVKMST", kScriptedBase); }

  tolvan::UpdateContext Context() override {
    tolvan::UpdateContext context = FlowTest::Context();
    context.http = script_.Factory();
    return context;
  }

  // Serves `name` with `body`: HEAD and GET both answer 200.
  void ServeScripted(const std::string& name, const std::string& body) {
    script_.Set("HEAD", name, Answer{.last_modified = kListTime});
    script_.Set("GET", name, Answer{.body = body});
  }

  HttpScript script_;
};

TEST_F(ScriptedFlowTest, EachProbeAnswerGivesItsResultMessageAndRequests) {
  const struct {
    const char* name;
    std::deque<Answer> heads;  // the answers to the first and the second HEAD
    ListProbe result;
    int32_t number;            // the result as callers have always seen it
    std::vector<std::string> messages;
    size_t requests;
  } cases[] = {
      {"newer list", {Answer{.last_modified = kListTime}}, ListProbe::kNewer, 1, {}, 2},
      {"list as old as the remembered time",
       {Answer{.last_modified = 0}}, ListProbe::kNotNewer, 0, {}, 2},
      {"not on the server", {Answer{.status = 404}}, ListProbe::kNotOnServer, 3,
       {"i:指定したページまたはファイルが見つかりませんでした．"}, 1},
      {"server error", {Answer{.status = 503}}, ListProbe::kNoAnswer, 9,
       {"w:サーバーエラー。少し時間が経ってから再度行ってください。"}, 1},
      {"no answer at all", {Answer{.answered = false}}, ListProbe::kNoAnswer, 9,
       {"w:インターネットに接続されていません"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    script_.Reset();
    SetIni("UPD", "TIME", "197001010900");
    script_.Set("HEAD", "UList", c.heads);
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    const ListProbe result = flow.Tolvan("UList");
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(static_cast<int32_t>(result), c.number);
    EXPECT_EQ(ui_.CallsOf("message:"), c.messages);
    EXPECT_THAT(script_.Requests(), SizeIs(c.requests));
    EXPECT_EQ(ui_.CallsOf("busy:").back(), "0");
  }
}

// The first HEAD finds the list; when the second (which reads its time) then fails, the run
// ends with that failure instead of taking the list for unchanged.
TEST_F(ScriptedFlowTest, SecondHeadThatFailsEndsTheRun) {
  script_.Set("HEAD", "UList", {Answer{}, Answer{.status = 302}});
  ServeScripted("MST.FDB", "new master");
  Run();
  EXPECT_THAT(ui_.CallsOf("error:"), ElementsAre("HTTP/1.1 302"));
  EXPECT_THAT(script_.Requests(), ElementsAre("HEAD UList", "HEAD UList"));
  EXPECT_EQ(Ini("UPD", "TIME"), "<absent>");
  EXPECT_THAT(starter_.opened(), IsEmpty());
}

// A download that breaks off, or that the user stops by closing the window, leaves the earlier
// download and every installed file as they were and no temporary file behind; only the break
// is reported.
TEST_F(ScriptedFlowTest, DownloadCutOffOrCancelledHalfWayLeavesEverythingAsItWas) {
  const std::string master = Installed("MST.FDB");
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled" : "cut off");
    NewWindow();
    script_.Reset();
    std::filesystem::create_directories(pf_ + "DownLoad");
    WriteFile(pf_ + "DownLoad/MST.FDB", "earlier download");
    ServeScripted("UList", "MST.FDB,1.0.0.3\r\n");
    std::string log_at_close, ini_at_close;
    Answer body{.body = std::string(100000, 'M')};
    if (cancel) {
      body.during_body = [&] {
        UserCloses();
        log_at_close = ReadFile(pf_ + "Log/Update.log");
        ini_at_close = ReadFile(pf_ + "user.ini");
      };
    } else {
      body.cut_after = 50000;
    }
    script_.Set("GET", "MST.FDB", body);
    Run();
    EXPECT_EQ(ui_.CallsOf("error:"),
              cancel ? std::vector<std::string>{}
                     : std::vector<std::string>{"通信エラー: 接続が切れました"});
    EXPECT_TRUE(Installed("MST.FDB") == master);
    EXPECT_EQ(ReadFile(pf_ + "DownLoad/MST.FDB"), "earlier download");
    EXPECT_THAT(FilesIn("DownLoad"), ElementsAre("MST.FDB", "UList"));
    EXPECT_THAT(script_.Requests(), ElementsAre("HEAD UList", "HEAD UList", "GET UList",
                                                "GET MST.FDB"));
    EXPECT_EQ(ui_.Count("close"), 0u);
    EXPECT_THAT(starter_.opened(), IsEmpty());
    if (cancel) {
      // Nothing more was logged or written after the close.
      EXPECT_EQ(ReadFile(pf_ + "Log/Update.log"), log_at_close);
      EXPECT_EQ(ReadFile(pf_ + "user.ini"), ini_at_close);
    }
  }
}

// A body of many megabytes is made durable on another thread while it arrives: it still lands
// whole, and one that breaks off once that thread is at work leaves the earlier download as it
// was and no temporary file behind.
TEST_F(ScriptedFlowTest, LongDownloadSyncedWhileArrivingLandsWholeOrNotAtAll) {
  std::string body(24 * 1024 * 1024, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 131 + i / 4093);
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut off" : "whole");
    NewWindow();
    script_.Reset();
    std::filesystem::create_directories(pf_ + "DownLoad");
    WriteFile(pf_ + "DownLoad/MST.FDB", "earlier download");
    script_.Set("GET", "MST.FDB", Answer{.body = body, .cut_after = cut ? size_t{20} << 20 : SIZE_MAX});
    tolvan::UpdateFlow& flow = MakeFlow();
    flow.IniSet();
    const std::string url = std::string(kScriptedBase) + "MST.FDB";
    if (cut) {
      EXPECT_THROW(flow.AutoDl(pf_ + "DownLoad/MST.FDB", url), tolvan::RunError);
      EXPECT_EQ(ReadFile(pf_ + "DownLoad/MST.FDB"), "earlier download");
    } else {
      EXPECT_FALSE(flow.AutoDl(pf_ + "DownLoad/MST.FDB", url));
      EXPECT_TRUE(ReadFile(pf_ + "DownLoad/MST.FDB") == body);
    }
    EXPECT_THAT(FilesIn("DownLoad"), ElementsAre("MST.FDB"));
  }
}

// Choice 3 replaces Norvik.exe and MST.FDB together: when either download fails, neither file
// is touched (and a failed first download skips the second); when both arrive, both are
// installed.
TEST_F(ScriptedFlowTest, CopyRouteInstallsBothFilesOrNeither) {
  const std::string program = Installed("Norvik.exe");
  const std::string master = Installed("MST.FDB");
  const std::string new_program = Pe("v2.0.0.3.exe");
  const struct {
    const char* name;
    bool program_fails, master_fails;
    std::vector<std::string> gets;
    bool installed;
  } cases[] = {
      {"both arrive", false, false, {"GET UList", "GET Norvik.exe", "GET MST.FDB"}, true},
      {"program fails", true, false, {"GET UList", "GET Norvik.exe"}, false},
      {"database fails", false, true, {"GET UList", "GET Norvik.exe", "GET MST.FDB"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    script_.Reset();
    Install("Norvik.exe", program);
    Install("MST.FDB", master);
    SetIni("UPDATE", "NOSETUP", "1");
    ui_.dsp_answer = 1;  // the version-up, by copying under NOSETUP
    ServeScripted("UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
    script_.Set("GET", "Norvik.exe",
                c.program_fails ? Answer{.status = 404} : Answer{.body = new_program});
    script_.Set("GET", "MST.FDB",
                c.master_fails ? Answer{.answered = false} : Answer{.body = "new master"});
    tolvan::UpdateFlow& flow = Run();
    std::vector<std::string> gets;
    for (const std::string& r : script_.Requests()) {
      if (r.rfind("GET ", 0) == 0) gets.push_back(r);
    }
    EXPECT_EQ(gets, c.gets);
    EXPECT_EQ(flow.bMaster(), c.installed);
    EXPECT_THAT(ui_.CallsOf("error:"), SizeIs(c.installed ? 0 : 1));
    if (c.installed) {
      EXPECT_TRUE(Installed("Norvik.exe") == new_program);
      EXPECT_EQ(Installed("MST.FDB"), "new master");
    } else {
      EXPECT_TRUE(Installed("Norvik.exe") == program);
      EXPECT_TRUE(Installed("MST.FDB") == master);
    }
    EXPECT_THAT(starter_.ran_as(), IsEmpty());
  }
}

}  // namespace
}  // namespace tolvan_test

// Applying the chosen update: the choices with their downloads, copies, backups and labels;
// NOSETUP; the installer check.
#include <sys/stat.h>

#include <gmock/gmock.h>

#include "tests/tolvan_flow/flow_fixture.h"

namespace tolvan_test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// The paths requested with GET, in order.
std::vector<std::string> Gets(const TestServer& server) {
  std::vector<std::string> paths;
  const std::regex get(R"x("method": "GET", "path": "([^"]+)")x");
  for (const std::string& r : server.RequestLog()) {
    std::smatch m;
    if (std::regex_search(r, m, get)) paths.push_back(m[1]);
  }
  return paths;
}

// The log lines about Setup.exe.
std::vector<std::string> SetupLines(const std::vector<std::string>& log) {
  std::vector<std::string> out;
  for (const std::string& t : log) {
    if (t.find("Setup.exe") != std::string::npos && t.find("ダウンロード終了") == std::string::npos) {
      out.push_back(t);
    }
  }
  return out;
}

TEST_F(FlowTest, MasterOnlyChoiceCopiesTheDatabaseWithoutBackup) {
  TestServer& server = StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
  const std::string program = Installed("Norvik.exe");
  ui_.dsp_answer = 2;
  tolvan::UpdateFlow& flow = Run();
  EXPECT_THAT(ui_.CallsOf("dspset:"), ElementsAre("1,1"));
  EXPECT_THAT(Gets(server), ElementsAre("/data/QX/UList", "/data/QX/MST.FDB"));
  EXPECT_TRUE(Installed("MST.FDB") == Served("MST.FDB"));
  EXPECT_TRUE(Installed("Norvik.exe") == program);
  EXPECT_FALSE(std::filesystem::exists(pf_ + "BKData"));
  EXPECT_TRUE(flow.bMaster());
  EXPECT_FALSE(flow.bPGM());
  EXPECT_EQ(ui_.LastStatus(), "更新終了");
  EXPECT_THAT(FilesIn(""), Not(Contains(HasSubstr(".tmp"))));
}

TEST_F(FlowTest, CopyChoiceBacksUpThenReplacesProgramAndDatabase) {
  TestServer& server = StartServer();
  // Only the program is newer; the copy route brings the database all the same.
  Serve("UList", "MST.FDB,1.0.0.2\r\nNorvik.exe,2.0.0.3\r\n");
  // The database lies in the program folder, beside user.ini and the programs.
  Install("NV.FDB", "user database");
  SetIni("Data", "DataBaseName", pf_ + "NV.FDB");
  SetIni("UPDATE", "NOSETUP", "1");
  ui_.dsp_answer = 1;
  tolvan::UpdateFlow& flow = Run();
  EXPECT_THAT(ui_.CallsOf("dspset:"), ElementsAre("1,0"));
  EXPECT_THAT(Gets(server),
              ElementsAre("/data/QX/UList", "/data/QX/Norvik.exe", "/data/QX/MST.FDB"));
  EXPECT_TRUE(Installed("MST.FDB") == Served("MST.FDB"));
  EXPECT_TRUE(Installed("Norvik.exe") == Served("Norvik.exe"));
  EXPECT_TRUE(flow.bMaster());
  EXPECT_FALSE(flow.bPGM());
  // The backup came first, with the program as it was.
  const std::vector<std::string> backups = FilesIn("BKData");
  ASSERT_EQ(backups.size(), 3u);  // database, settings, PGM/
  EXPECT_THAT(backups[0], testing::MatchesRegex("NV[0-9-]{10}[0-9]{6}\\.FDB"));
  EXPECT_EQ(ReadFile(pf_ + "BKData/" + backups[0]), "user database");
  EXPECT_EQ(backups[2], "PGM");
  EXPECT_TRUE(ReadFile(pf_ + "BKData/PGM/Norvik_2.0.0.2") == Pe("v2.0.0.2.exe"));
  EXPECT_THAT(LogTexts("Log/backup.log"), Contains(HasSubstr("マスター更新前:\"")));
  const auto statuses = ui_.CallsOf("status:");
  const auto updating = std::find(statuses.begin(), statuses.end(), "      マスター更新中     ");
  ASSERT_NE(updating, statuses.end());
  EXPECT_THAT(std::vector<std::string>(statuses.end() - 3, statuses.end()),
              ElementsAre("ダウンロード終了", "マスター更新終了", "更新終了"));
  EXPECT_EQ(ui_.Count("button1"), 2u);
  EXPECT_EQ(starter_.opened().size(), 1u);
}

// A copy that fails is logged and shown, and never passes for an update: choice 2 keeps the old
// database; choice 3 replaces both files or neither (a failed second copy puts the first file
// back). The main application then starts as after any run.
TEST_F(FlowTest, FailedCopyIsShownLoggedAndLeavesTheOldFiles) {
  StartServer();
  const std::string old_program = Installed("Norvik.exe");
  const std::string old_master = Installed("MST.FDB");
  const struct {
    const char* name;
    int32_t answer;  // 2: master only; 1 with NOSETUP: program and master by copying
    std::function<void()> spoil;
    const char* file;
    const char* reason;
  } cases[] = {
      {"choice 2, read-only database", 2,
       [&] { std::filesystem::permissions(pf_ + "MST.FDB", std::filesystem::perms::owner_read |
                                                                std::filesystem::perms::group_read |
                                                                std::filesystem::perms::others_read); },
       "MST.FDB", "読み取り専用のファイルです"},
      {"choice 3, database copy fails first", 1,
       [&] { std::filesystem::permissions(pf_ + "MST.FDB", std::filesystem::perms::owner_read); },
       "MST.FDB", "読み取り専用のファイルです"},
      {"choice 3, program copy fails second", 1,
       [&] { std::filesystem::permissions(pf_ + "Norvik.exe", std::filesystem::perms::owner_read); },
       "Norvik.exe", "読み取り専用のファイルです"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    for (const char* name : {"MST.FDB", "Norvik.exe"}) std::filesystem::remove(pf_ + name);
    Install("MST.FDB", old_master);
    Install("Norvik.exe", old_program);
    std::filesystem::remove(pf_ + "Log/Update.log");
    Serve("UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
    SetIni("UPDATE", "NOSETUP", "1");
    c.spoil();
    ui_.dsp_answer = c.answer;
    tolvan::UpdateFlow& flow = Run();
    EXPECT_TRUE(Installed("MST.FDB") == old_master);
    EXPECT_TRUE(Installed("Norvik.exe") == old_program);
    EXPECT_FALSE(flow.bMaster());
    EXPECT_THAT(ui_.CallsOf("message:"),
                ElementsAre(std::string("w:更新ファイルをインストールできませんでした\r") + c.file +
                            "：" + c.reason +
                            "\r更新前のファイルのまま起動します\r"
                            "空き容量と書き込み権限を確認した後、再度マスター更新を行ってください"));
    EXPECT_THAT(RunLogTexts(), Contains(pf_ + c.file + " をコピーできません：" + c.reason));
    EXPECT_THAT(ui_.CallsOf("status:"), Not(Contains("マスター更新終了")));
    EXPECT_THAT(ui_.CallsOf("status:"), Not(Contains("更新終了")));
    EXPECT_THAT(ui_.CallsOf("error:"), IsEmpty());
    EXPECT_EQ(starter_.opened().size(), 1u);
    EXPECT_EQ(Ini("CALL", "STATUS"), "1");
    // Nothing but the installed files (and choice 3's backup): no temporaries, no kept copies.
    EXPECT_EQ(std::filesystem::exists(pf_ + "BKData"), c.answer == 1);
    std::filesystem::remove_all(pf_ + "BKData");
    EXPECT_THAT(FilesIn(""), ElementsAre("DownLoad", "Log", "MST.FDB", "Norvik.exe", "user.ini"));
    for (const char* name : {"MST.FDB", "Norvik.exe"}) {
      std::filesystem::permissions(pf_ + name, std::filesystem::perms::owner_all);
    }
  }
}

// Downloads and copies give program files the bits a program needs: a replaced program keeps
// the installed one's bits, a downloaded one gets 0777 less the umask; data stays data.
TEST_F(FlowTest, ProgramsStayExecutableAndDataDoesNot) {
  StartServer();
  Serve("UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
  SetIni("UPDATE", "NOSETUP", "1");
  ::chmod((pf_ + "Norvik.exe").c_str(), 0750);
  ::chmod((pf_ + "MST.FDB").c_str(), 0640);
  const mode_t saved = ::umask(022);
  ui_.dsp_answer = 1;
  Run();
  ::umask(saved);
  auto mode = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  };
  EXPECT_TRUE(Installed("Norvik.exe") == Served("Norvik.exe"));
  EXPECT_EQ(mode(pf_ + "Norvik.exe"), 0750);
  EXPECT_EQ(mode(pf_ + "MST.FDB"), 0640);
  EXPECT_EQ(mode(pf_ + "DownLoad/Norvik.exe"), 0755);
  EXPECT_EQ(mode(pf_ + "DownLoad/MST.FDB"), 0644);
  EXPECT_EQ(mode(pf_ + "DownLoad/UList"), 0644);
}

TEST_F(FlowTest, NosetupTurnsOnlyAnExactOneIntoTheCopyRoute) {
  StartServer();
  Serve("UList", "Norvik.exe,2.0.0.3\r\n");
  const struct {
    const char* stored;  // the line in [UPDATE]
    bool copy;
  } cases[] = {{"NOSETUP=1", true}, {"NOSETUP=0", false}, {"NOSETUP=\"1 \"", false},
               {"NOSETUP=", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    NewWindow();
    InstallPe("Norvik.exe", "v2.0.0.2.exe");
    std::filesystem::remove_all(pf_ + "DownLoad");
    WriteFile(pf_ + "user.ini", std::string("[PARAM]\r\nNVKMST=") + server_->Url("/data/QX/") +
                                    "\r\nDBVERSION=1.0.0.2\r\n[UPDATE]\r\n" + c.stored + "\r\n");
    ui_.dsp_answer = 1;
    tolvan::UpdateFlow& flow = Run();
    EXPECT_EQ(flow.bPGM(), !c.copy);
    EXPECT_EQ(starter_.ran_as().size(), c.copy ? 0u : 1u);
    EXPECT_EQ(Installed("Norvik.exe") == Served("Norvik.exe"), c.copy);
  }
}

TEST_F(FlowTest, InstallerIsReusedOnlyWhenLargeEnoughAndCurrent) {
  const int64_t kGiB2 = int64_t{2} * 1024 * 1024 * 1024;
  const struct {
    const char* name;
    const char* list;
    const char* local_fixture;  // the program folder's Setup.exe; nullptr: none
    int64_t local_size;
    bool reused;
    std::vector<std::string> log;
  } cases[] = {
      {"none in the program folder", "Norvik.exe,2.0.0.3\r\n", nullptr, 0, false,
       {"Setup.exeないためダウンロード"}},
      {"large enough and current", "Norvik.exe,2.0.0.3\r\n", "v2.0.0.3.exe", 78000001, true,
       {"最新版Setup.exe有り", "最新版Setup.exe有り"}},
      {"newer than listed", "Norvik.exe,2.0.0.3\r\n", "v2.0.0.12.exe", 78000001, true,
       {"最新版Setup.exe有り", "最新版Setup.exe有り"}},
      {"exactly 78,000,000 bytes", "Norvik.exe,2.0.0.3\r\n", "v2.0.0.3.exe", 78000000, false,
       {"Setup.exeが最新でないためダウンロード実施\rサイズ=78000000 "
        "ローカルのSetup.exeバージョン=2.0.0.3 最新のSetup.exeバージョン=2.0.0.3"}},
      {"older version", "Norvik.exe,2.0.0.3\r\n", "v2.0.0.2.exe", 78000001, false,
       {"Setup.exeが最新でないためダウンロード実施\rサイズ=78000001 "
        "ローカルのSetup.exeバージョン=2.0.0.2 最新のSetup.exeバージョン=2.0.0.3"}},
      {"2 GiB counts as 0", "Norvik.exe,2.0.0.3\r\n", "v2.0.0.3.exe", kGiB2, false,
       {"Setup.exeが最新でないためダウンロード実施\rサイズ=0 "
        "ローカルのSetup.exeバージョン=2.0.0.3 最新のSetup.exeバージョン=2.0.0.3"}},
      {"no Norvik.exe record: size alone decides", "Other.exe,2.0.0.3\r\n", "noversion.exe",
       78000001, true, {"最新版Setup.exe有り", "最新版Setup.exe有り"}},
  };
  TestServer& server = StartServer();
  InstallPe("Other.exe", "v2.0.0.2.exe");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    std::filesystem::remove_all(pf_ + "DownLoad");
    std::filesystem::remove(pf_ + "Log/Update.log");
    std::filesystem::remove(pf_ + "Setup.exe");
    if (c.local_fixture != nullptr) {
      InstallPe("Setup.exe", c.local_fixture);
      std::filesystem::resize_file(pf_ + "Setup.exe", static_cast<uintmax_t>(c.local_size));
    }
    Serve("UList", c.list);
    const size_t gets_before = Gets(server).size();
    ui_.dsp_answer = 1;
    tolvan::UpdateFlow& flow = Run();
    EXPECT_TRUE(flow.bPGM());
    EXPECT_THAT(SetupLines(RunLogTexts()), ElementsAreArray(c.log));
    const std::vector<std::string> gets = Gets(server);
    const bool downloaded = gets.size() == gets_before + 2 && gets.back() == "/data/QX/Setup.exe";
    EXPECT_EQ(downloaded, !c.reused);
    const std::string fetched = pf_ + "DownLoad/Setup.exe";
    if (c.reused) {
      EXPECT_EQ(std::filesystem::file_size(fetched), static_cast<uintmax_t>(c.local_size));
    } else {
      EXPECT_TRUE(ReadFile(fetched) == Served("Setup.exe"));
    }
    EXPECT_THAT(starter_.ran_as(), ElementsAre(fetched));
    if (!c.reused) {
      struct stat st {};
      ASSERT_EQ(::stat(fetched.c_str(), &st), 0);
      EXPECT_NE(st.st_mode & 0100, 0u) << "a downloaded installer must be executable";
    }
    EXPECT_THAT(starter_.opened(), IsEmpty());  // the main application is not started
    EXPECT_EQ(ui_.Count("close"), 1u);
    EXPECT_EQ(Ini("CALL", "STATUS"), "1");
    std::filesystem::remove(fetched);
  }
}

TEST_F(FlowTest, FailedInstallerStartWarnsAndStillClosesWithoutTheMainApplication) {
  StartServer();
  Serve("UList", "Norvik.exe,2.0.0.3\r\n");
  starter_.set_run_as_ok(false);
  ui_.dsp_answer = 1;
  tolvan::UpdateFlow& flow = Run();
  EXPECT_TRUE(flow.bPGM());
  EXPECT_THAT(ui_.CallsOf("message:"), ElementsAre("w:マスター更新用インストーラがありません"));
  EXPECT_THAT(starter_.opened(), IsEmpty());
  EXPECT_EQ(ui_.Count("close"), 1u);
}

}  // namespace
}  // namespace tolvan_test

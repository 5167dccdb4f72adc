// The real Tolvan program in a real program folder, against the HTTPS test server, as users
// run it: copied into the folder it updates, started as its own process on the offscreen
// display, with a stand-in user (user_stand_in.cc) answering its windows. Windows programs are
// started through a fake `wine` on PATH that records how it was called.
//
// Also what a kill leaves: the program is killed while it downloads, copies, backs up or writes
// user.ini, the folders are listed, and the next run must complete and leave nothing else.
#include <dirent.h>
#include <signal.h>
#include <grp.h>
#include <sched.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/program_folder_override_for_testing.h"
#include "common/settings.h"
#include "common/temp_folder_for_testing.h"
#include "common/text_encoding.h"
#include "tests/tolvan_server/test_server.h"

namespace tolvan_test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Pe(const std::string& fixture) { return Read(std::string(TOLVAN_PE_DIR) + fixture); }

int Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// The names in a folder, sorted; "-" for a folder that does not exist.
std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename());
  if (ec) names.insert("-");
  return names;
}

// What the process `pid` has open, as the kernel names it ("/x/#123 (deleted)" for a file
// without a name).
std::vector<std::string> OpenFiles(pid_t pid) {
  std::vector<std::string> files;
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return files;
  while (const dirent* e = ::readdir(dir)) {
    char target[4096];
    const ssize_t n = ::readlink((folder + e->d_name).c_str(), target, sizeof target);
    if (n > 0) files.emplace_back(target, static_cast<size_t>(n));
  }
  ::closedir(dir);
  return files;
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    TrustTestCa();
    fs::create_directories(pf_);
    fs::create_directories(served_);
    fs::create_directories(bin_);
    fs::create_directories(rec_);
    ::chmod(rec_.c_str(), 0777);  // the program may run as another user
    common::OverrideProgramFolderForTesting(pf_);
    fs::copy_file(TOLVAN_PROGRAM, pf_ + "Tolvan");
    Write(pf_ + "Norvik.exe", Pe("v2.0.0.2.exe"));
    ::chmod((pf_ + "Norvik.exe").c_str(), 0755);
    Write(pf_ + "MST.FDB", "installed master database\n");
    common::IFWriteIniStr("PARAM", "DBVERSION", "1.0.0.2");
    Write(served_ + "Norvik.exe", Pe("v2.0.0.3.exe"));
    Write(served_ + "MST.FDB", std::string(300000, 'M'));
    // A fake wine that records its arguments and the prefix it was given.
    Write(bin_ + "wine", "#!/bin/sh\necho \"$*|$WINEPREFIX\" >> \"" + rec_ + "wine.out\"\n");
    ::chmod((bin_ + "wine").c_str(), 0755);
    server_ = std::make_unique<TestServer>(root_.path() + "srv/");
    common::IFWriteIniStr("PARAM", "NVKMST", server_->Url("/data/QX/"));
  }
  ~ProgramTest() override { common::OverrideProgramFolderForTesting(""); }

  // Starts the installed program; `choice` answers the confirmation dialog. `folder` is the
  // program folder (pf_ unless given); `as_nobody` runs it as the unprivileged user "nobody".
  pid_t Start(const std::string& choice = "RadioButton1", bool with_wine = true,
              const std::string& folder = "", bool as_nobody = false) {
    const std::string path = (with_wine ? bin_ + ":" : "") + "/usr/bin:/bin";
    const std::string program = (folder.empty() ? pf_ : folder) + "Tolvan";
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("PATH", path.c_str(), 1);
      ::setenv("WINEPREFIX", (root_.path() + "prefix").c_str(), 1);
      ::setenv("LD_PRELOAD", TOLVAN_USER_STAND_IN, 1);
      // Under the sanitizers the preloaded stand-in comes before their runtime; that is fine here.
      const char* asan = std::getenv("ASAN_OPTIONS");
      const std::string asan_options =
          std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
      ::setenv("ASAN_OPTIONS", asan_options.c_str(), 1);
      ::setenv("TOLVAN_TEST_USER_LOG", (rec_ + "user.out").c_str(), 1);
      ::setenv("TOLVAN_TEST_USER_CHOICE", choice.c_str(), 1);
      if (as_nobody && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
        ::_exit(126);
      }
      ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }

  // Waits for the program to end by itself; false when it had to be killed after a minute.
  static bool Ends(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // One whole run that ends by itself.
  void RunToTheEnd(const std::string& choice = "RadioButton1", bool with_wine = true,
                   bool as_nobody = false) {
    ASSERT_TRUE(Ends(Start(choice, with_wine, "", as_nobody))) << "Tolvan did not end by itself";
  }

  // Starts a run and kills it once `moment` holds for what it has open; false when the run
  // ended first.
  bool KillWhen(const std::function<bool(const std::vector<std::string>&)>& moment,
                const std::string& choice = "RadioButton1") {
    const pid_t pid = Start(choice);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (moment(OpenFiles(pid))) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return true;
      }
    }
    return false;
  }

  std::vector<std::string> UserSaw() { return Lines(Read(rec_ + "user.out")); }
  // The calls of the fake wine, once at least `expected` have come (it runs detached from the
  // program, so it may still be on its way when the program ends).
  std::vector<std::string> WineCalls(size_t expected = 0) {
    for (int i = 0; i < 1000 && Lines(Read(rec_ + "wine.out")).size() < expected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Lines(Read(rec_ + "wine.out"));
  }
  std::string UpdateLog() { return common::Cp932ToUtf8(Read(pf_ + "Log/Update.log")); }
  void ForgetRecords() {
    fs::remove(rec_ + "user.out");
    fs::remove(rec_ + "wine.out");
  }

  common::TempFolderForTesting root_;
  const std::string pf_ = root_.path() + "pf/";
  const std::string served_ = root_.path() + "srv/data/QX/";
  const std::string bin_ = root_.path() + "bin/";
  const std::string rec_ = root_.path() + "rec/";  // what the stand-in user and wine record
  std::unique_ptr<TestServer> server_;
};

// The version-up by copying through the real program: the installed program stays executable
// and is started once afterwards, by wine for a Windows program and directly for a native one.
TEST_F(ProgramTest, CopyChoiceLeavesAProgramThatStartsOnce) {
  Write(served_ + "UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
  common::IFWriteIniStr("UPDATE", "NOSETUP", "1");
  RunToTheEnd();
  EXPECT_THAT(UserSaw(), ElementsAre("dialog:RadioButton1"));
  EXPECT_TRUE(Read(pf_ + "Norvik.exe") == Read(served_ + "Norvik.exe"));
  EXPECT_TRUE(Read(pf_ + "MST.FDB") == Read(served_ + "MST.FDB"));
  EXPECT_EQ(Mode(pf_ + "Norvik.exe"), 0755);
  EXPECT_THAT(WineCalls(1), ElementsAre(pf_ + "Norvik.exe|" + root_.path() + "prefix"));
  EXPECT_EQ(common::IFReadIniStr("CALL", "STATUS", ""), "1");
  EXPECT_EQ(Names(pf_), (std::set<std::string>{"BKData", "DownLoad", "Log", "MST.FDB",
                                               "Norvik.exe", "Tolvan", "user.ini"}));

  // A native main application: the new program file arrives through the same copy and starts
  // by itself.
  ForgetRecords();
  fs::remove(pf_ + "Norvik.exe");
  Write(pf_ + "Norvik.exe", "#!/bin/sh\necho old >> \"" + rec_ + "native.out\"\n");
  ::chmod((pf_ + "Norvik.exe").c_str(), 0750);
  Write(served_ + "Norvik.exe", "#!/bin/sh\necho new >> \"" + rec_ + "native.out\"\n");
  Write(served_ + "UList", "Norvik.exe,2.0.0.4\r\n");
  RunToTheEnd();
  EXPECT_EQ(Mode(pf_ + "Norvik.exe"), 0750);
  for (int i = 0; i < 500 && Read(rec_ + "native.out").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // it runs detached
  }
  EXPECT_EQ(Read(rec_ + "native.out"), "new\n");
  EXPECT_THAT(WineCalls(), IsEmpty());
}

// A main application that cannot be started is shown as such, whatever the reason.
TEST_F(ProgramTest, MainApplicationThatCannotStartIsShown) {
  Write(served_ + "UList", "MST.FDB,1.0.0.2\r\n");  // nothing new: the run only starts it
  const struct {
    const char* name;
    std::function<void()> setup;
    bool with_wine;
  } cases[] = {
      {"missing", [&] { fs::remove(pf_ + "Norvik.exe"); }, true},
      {"Windows program without wine", [] {}, false},
      {"native file without exec bit",
       [&] {
         Write(pf_ + "Norvik.exe", "#!/bin/sh\nexit 0\n");
         ::chmod((pf_ + "Norvik.exe").c_str(), 0644);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetRecords();
    fs::remove(pf_ + "Norvik.exe");
    Write(pf_ + "Norvik.exe", Pe("v2.0.0.2.exe"));
    c.setup();
    RunToTheEnd("RadioButton1", c.with_wine);
    EXPECT_THAT(UserSaw(), ElementsAre("box:ベルタンQX インストール版が起動できません"));
    EXPECT_THAT(WineCalls(), IsEmpty());
  }
}

// A read-only database is not replaced, for root (no write bit) and for a user who may not
// write it; the failure is shown and logged, and the main application still starts.
TEST_F(ProgramTest, ReadOnlyDatabaseStaysAsItWas) {
  Write(served_ + "UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.2\r\n");
  const std::string installed = Read(pf_ + "MST.FDB");
  const struct {
    const char* name;
    bool as_nobody;
    int mode;
    bool owned_by_nobody;
    const char* reason;
  } cases[] = {
      {"root, no write bit", false, 0444, false, "読み取り専用のファイルです"},
      {"nobody, no write bit", true, 0444, true, "読み取り専用のファイルです"},
      {"nobody, another user's file", true, 0644, false, "書き込みの権限がありません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.as_nobody) {
      // The program folder belongs to nobody, as an installation belongs to its user; the
      // test CA must be readable too.
      ::chmod(root_.path().c_str(), 0755);
      ::chmod(Certificates().folder.c_str(), 0755);
      ::chmod(Certificates().ca.c_str(), 0644);
      for (const auto& e : fs::recursive_directory_iterator(pf_)) {
        if (::lchown(e.path().c_str(), 65534, 65534) != 0) ADD_FAILURE() << e.path();
      }
      ::chown(pf_.c_str(), 65534, 65534);
      ::chmod((root_.path() + "bin").c_str(), 0755);
    }
    ForgetRecords();
    fs::remove(pf_ + "Log/Update.log");
    ::chmod((pf_ + "MST.FDB").c_str(), 0644);
    Write(pf_ + "MST.FDB", installed);
    const uid_t owner = c.owned_by_nobody ? 65534 : 0;
    ::chown((pf_ + "MST.FDB").c_str(), owner, owner);
    ::chmod((pf_ + "MST.FDB").c_str(), static_cast<mode_t>(c.mode));
    if (c.as_nobody && ::geteuid() != 0) {
      GTEST_SKIP() << "only root can run the program as another user";
    }
    RunToTheEnd("RadioButton1", true, c.as_nobody);
    EXPECT_EQ(Read(pf_ + "MST.FDB"), installed);
    EXPECT_EQ(Mode(pf_ + "MST.FDB"), c.mode);
    EXPECT_THAT(UserSaw(), ElementsAre(std::string("box:更新ファイルをインストールできませんでした|"
                                                   "MST.FDB：") + c.reason +
                                       "|更新前のファイルのまま起動します|"
                                       "空き容量と書き込み権限を確認した後、再度マスター更新を行ってください"));
    EXPECT_THAT(UpdateLog(), HasSubstr(pf_ + "MST.FDB をコピーできません：" + c.reason));
    EXPECT_THAT(WineCalls(1), ElementsAre(pf_ + "Norvik.exe|" + root_.path() + "prefix"));
    EXPECT_EQ(Names(pf_), (std::set<std::string>{"DownLoad", "Log", "MST.FDB", "Norvik.exe",
                                                 "Tolvan", "user.ini"}));
  }
}

// Leftovers of earlier runs (temporaries of file systems without unnamed files, and the lock
// file earlier versions left beside user.ini) are gone after the next start; one that a live
// process is still writing stays.
TEST_F(ProgramTest, StartRemovesLeftoversOfEarlierRuns) {
  Write(served_ + "UList", "MST.FDB,1.0.0.2\r\n");  // nothing new
  const std::string saves = root_.path() + "saves/";
  fs::create_directories(saves + "PGM");
  common::IFWriteIniStr("PARAM", "BACKUP", saves);
  for (const char* sub : {"DownLoad", "BKData/PGM"}) fs::create_directories(pf_ + sub);
  const std::vector<std::string> leftovers = {
      pf_ + ".MST.FDB.tmp-41-0",     pf_ + ".user.ini.tmp-42-7-123456",
      pf_ + "DownLoad/.MST.FDB.tmp-43-1", pf_ + "BKData/.NV2024-05-01093005.FDB.tmp-44-0",
      pf_ + "BKData/PGM/.Norvik_2.0.0.2.tmp-45-0", saves + ".NV2024-05-01093005.FDB.tmp-46-0",
      saves + "PGM/.Tolvan_2.0.0.2.tmp-47-0", pf_ + "user.ini.lock"};
  const utimbuf earlier_run{std::time(nullptr) - 3600, std::time(nullptr) - 3600};
  for (const std::string& path : leftovers) {
    Write(path, "left behind");
    ::utime(path.c_str(), &earlier_run);
  }
  const std::string live = pf_ + ".Norvik.exe.tmp-48-0";
  Write(live, "being written");
  ::utime(live.c_str(), &earlier_run);
  const int held = ::open(live.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  RunToTheEnd();
  ::close(held);
  for (const std::string& path : leftovers) EXPECT_FALSE(fs::exists(path)) << path;
  EXPECT_TRUE(fs::exists(live));
}

// A hidden name a kill may leave: a temporary, or the kept copy of choice 3's installed pair.
bool IsHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

// Every hidden name under the program folder's replacement folders.
std::vector<std::string> HiddenNames(const std::string& pf) {
  std::vector<std::string> hidden;
  for (const char* sub : {"", "DownLoad/", "BKData/", "BKData/PGM/"}) {
    for (const std::string& name : Names(pf + sub)) {
      if (IsHidden(name)) hidden.push_back(sub + name);
    }
  }
  return hidden;
}

// A file without a name, open in `folder` itself.
bool HasUnnamedFileIn(const std::vector<std::string>& open, const std::string& folder) {
  for (const std::string& f : open) {
    if (f.rfind(folder + "#", 0) == 0 && f.find('/', folder.size()) == std::string::npos &&
        f.size() > 10 && f.compare(f.size() - 10, 10, " (deleted)") == 0) {
      return true;
    }
  }
  return false;
}

bool HasOpen(const std::vector<std::string>& open, const std::string& path) {
  return std::find(open.begin(), open.end(), path) != open.end();
}

// Kills at several steps of a version-up by copying (large files, so each step lasts long
// enough to be caught), lists what is left, then lets the next run complete: nothing but the
// installed files may remain, and the installed pair is always whole.
TEST_F(ProgramTest, KillAtAnyStepLeavesNothingTheNextRunKeeps) {
  const std::string master(24 << 20, 'M');
  const std::string program = Pe("v2.0.0.3.exe") + std::string(16 << 20, '\0');
  Write(served_ + "MST.FDB", master);
  Write(served_ + "Norvik.exe", program);
  Write(served_ + "UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
  const std::string old_program = Read(pf_ + "Norvik.exe");
  const std::string old_master = Read(pf_ + "MST.FDB");
  // Large enough that its backup lasts long enough to be caught, also under the sanitizers.
  Write(pf_ + "NV.FDB", std::string(96 << 20, 'D'));
  common::IFWriteIniStr("Data", "DataBaseName", pf_ + "NV.FDB");
  common::IFWriteIniStr("UPDATE", "NOSETUP", "1");
  const std::string small_ini = Read(pf_ + "user.ini");
  // A large user.ini makes each of its writes last long enough to be caught.
  std::string large_ini = small_ini + "[FILLER]\r\n";
  for (int i = 0; large_ini.size() < (8u << 20); ++i) {
    large_ini += "KEY" + std::to_string(i) + "=" + std::string(100, 'v') + "\r\n";
  }

  const std::string dl = pf_ + "DownLoad/";
  const struct {
    const char* name;
    const char* rules;
    bool large_ini;
    std::function<bool(const std::vector<std::string>&)> moment;
    bool pair_kept;  // the kept copies of the installed pair remain until the next start
  } points[] = {
      {"during a download", R"({"GET /data/QX/MST.FDB": {"stall": 30, "stall_after": 1000000}})",
       false, [&](const auto& open) { return HasUnnamedFileIn(open, dl); }, false},
      {"during the backup", "{}", false,
       [&](const auto& open) { return HasUnnamedFileIn(open, pf_ + "BKData/"); }, false},
      {"during the MST.FDB copy", "{}", false,
       [&](const auto& open) {
         return HasOpen(open, dl + "MST.FDB") && HasUnnamedFileIn(open, pf_);
       },
       true},
      {"during the Norvik.exe copy", "{}", false,
       [&](const auto& open) {
         return HasOpen(open, dl + "Norvik.exe") && HasUnnamedFileIn(open, pf_);
       },
       true},
      {"during a user.ini write", "{}", true,
       [&](const auto& open) { return HasUnnamedFileIn(open, pf_); }, false},
  };
  for (const auto& point : points) {
    SCOPED_TRACE(point.name);
    // A step can be over between two looks at the program's open files on a busy machine: then
    // the run is set up again and tried once more.
    bool caught = false;
    for (int attempt = 0; attempt < 3 && !caught; ++attempt) {
      for (const char* sub : {"DownLoad", "BKData", "Log"}) fs::remove_all(pf_ + sub);
      Write(pf_ + "Norvik.exe", old_program);
      Write(pf_ + "MST.FDB", old_master);
      Write(pf_ + "user.ini", point.large_ini ? large_ini : small_ini);
      server_->SetRules(point.rules);
      ForgetRecords();
      caught = KillWhen(point.moment);
    }
    ASSERT_TRUE(caught) << "the run ended before the moment came, three times";

    // What the kill left: the installed files whole, no temporary anywhere.
    std::vector<std::string> hidden = HiddenNames(pf_);
    if (point.pair_kept) {
      EXPECT_THAT(hidden, ElementsAre(".MST.FDB.previous", ".Norvik.exe.previous"));
    } else {
      EXPECT_THAT(hidden, IsEmpty());
    }
    EXPECT_TRUE(Read(pf_ + "Norvik.exe") == old_program);
    const std::string master_now = Read(pf_ + "MST.FDB");
    EXPECT_TRUE(master_now == old_master || master_now == master);
    EXPECT_EQ(Read(pf_ + "user.ini").size() >= small_ini.size(), true);

    // The next run puts the pair back where needed, then completes the update.
    server_->SetRules("{}");
    Write(pf_ + "user.ini", small_ini);
    RunToTheEnd();
    if (point.pair_kept) {
      EXPECT_THAT(UpdateLog(), HasSubstr("中断した更新を元に戻しました：MST.FDB Norvik.exe"));
    }
    EXPECT_THAT(HiddenNames(pf_), IsEmpty());
    EXPECT_EQ(Names(pf_), (std::set<std::string>{"BKData", "DownLoad", "Log", "MST.FDB", "NV.FDB",
                                                 "Norvik.exe", "Tolvan", "user.ini"}));
    EXPECT_EQ(Names(dl), (std::set<std::string>{"MST.FDB", "Norvik.exe", "UList"}));
    EXPECT_TRUE(Read(pf_ + "Norvik.exe") == program);
    EXPECT_TRUE(Read(pf_ + "MST.FDB") == master);
    EXPECT_THAT(WineCalls(1), ElementsAre(pf_ + "Norvik.exe|" + root_.path() + "prefix"));
  }
}

// A disk that fills during choice 3's database copy, on a real small file system (a tmpfs in a
// private mount namespace, so that the disk is really full even for root): the failure is
// shown and logged, the old pair stays, nothing is left behind, and the main application
// starts. Skipped where no private mount is allowed.
TEST_F(ProgramTest, FullDiskDuringTheCopyKeepsTheOldPair) {
  const std::string small = root_.path() + "small/";
  const std::string out = rec_ + "small/";
  fs::create_directories(small);
  fs::create_directories(out);
  Write(served_ + "UList", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n");
  common::IFWriteIniStr("UPDATE", "NOSETUP", "1");
  common::IFWriteIniStr("PARAM", "DISK", "1");  // the small disk passes the gate before the run
  const std::string old_master = Read(pf_ + "MST.FDB");
  const std::string old_program = Read(pf_ + "Norvik.exe");

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16m") != 0) {
      ::_exit(77);
    }
    for (const char* name : {"Tolvan", "Norvik.exe", "MST.FDB", "user.ini"}) {
      fs::copy_file(pf_ + name, small + name);
    }
    // The database on the server takes a little more than half the room left: its download
    // fits, its copy beside the download does not.
    struct statvfs room {};
    if (::statvfs(small.c_str(), &room) != 0) ::_exit(2);
    const uint64_t free_bytes = static_cast<uint64_t>(room.f_bavail) * room.f_frsize;
    Write(served_ + "MST.FDB", std::string(free_bytes * 6 / 10, 'M'));
    const bool ended = Ends(Start("RadioButton1", true, small));
    std::ofstream names(out + "names");
    for (const char* sub : {"", "DownLoad/"}) {
      for (const std::string& name : Names(small + sub)) names << sub << name << '\n';
    }
    names.close();
    for (const char* name : {"MST.FDB", "Norvik.exe", "Log/Update.log"}) {
      Write(out + fs::path(name).filename().string(), Read(small + name));
    }
    ::_exit(ended ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "no private mounts here";
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "Tolvan did not end by itself; it showed " << testing::PrintToString(UserSaw());
  EXPECT_THAT(UserSaw(), ElementsAre("dialog:RadioButton1",
                                     "box:更新ファイルをインストールできませんでした|MST.FDB："
                                     "ディスクの空き容量が不足しています|更新前のファイルのまま起動します|"
                                     "空き容量と書き込み権限を確認した後、再度マスター更新を行ってください"));
  EXPECT_TRUE(Read(out + "MST.FDB") == old_master);
  EXPECT_TRUE(Read(out + "Norvik.exe") == old_program);
  EXPECT_THAT(common::Cp932ToUtf8(Read(out + "Update.log")),
              HasSubstr(small + "MST.FDB をコピーできません：ディスクの空き容量が不足しています"));
  EXPECT_THAT(Lines(Read(out + "names")),
              ElementsAre("BKData", "DownLoad", "Log", "MST.FDB", "Norvik.exe", "Tolvan", "user.ini",
                          "DownLoad/MST.FDB", "DownLoad/Norvik.exe", "DownLoad/UList"));
  EXPECT_THAT(WineCalls(1), ElementsAre(small + "Norvik.exe|" + root_.path() + "prefix"));
}

}  // namespace
}  // namespace tolvan_test

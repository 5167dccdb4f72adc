// The installed product end to end: installed with `cmake --install` into a throw-away folder
// and run as the main application starts it. Results are read back from user.ini, Pdf.log and
// the PDF files with the real tools.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

#include "tests/kavel_e2e/e2e_support.h"

namespace kavel_e2e {
namespace {

namespace fs = std::filesystem;

const std::string kCaption = "令和８年１１月社保";

std::string MakeTempFolder(const char* stem) {
  std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  ::chmod(pattern.c_str(), 0755);  // other users run programs from it in one test
  return pattern + "/";
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  ::chmod(path.c_str(), 0755);
  for (auto it = fs::recursive_directory_iterator(path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path, ec);
}

// A folder of the test, removed at the end.
class Folder {
 public:
  explicit Folder(const char* stem) : path_(MakeTempFolder(stem)) {}
  ~Folder() { RemoveTree(path_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "user.ini.lock") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteSampleDatabase(const std::string& path) {
  WriteDatabase(path, {RepChkTable(3), RepTable(3), RepChkListTable(3)});
}

// A whole, readable PDF of the check-result list with the run's caption on its first page.
bool IsCheckResultList(const std::string& pdf) {
  return fs::exists(pdf) && QpdfCheck(pdf) && PdfPageCount(pdf) == 1 &&
         PageText(PdfWords(pdf).at(0)).find(kCaption) != std::string::npos;
}

// Runs `program` with `args` and the extra environment `env` ("NAME=value"; DISPLAY and
// WAYLAND_DISPLAY are otherwise unset), started by exactly the path `program`.
ProcessResult RunStarted(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv{"/usr/bin/env"};
  argv.insert(argv.end(), env.begin(), env.end());
  argv.push_back(program);
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, "/");
}

// What the dynamic loader wrote to `folder`/loaded.<pid> under LD_DEBUG=files: every file it
// loaded. Under the sanitizers, what the X and Qt libraries keep until exit is not these tests'
// concern, so those runs also switch leak checking off.
std::string LoadedFiles(const std::string& folder) {
  std::string loaded;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with("loaded")) loaded += ReadFile(entry.path());
  }
  return loaded;
}

// One installation for the whole suite, as `cmake --install --strip` makes it.
class InstalledTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new Folder("norvik-install");
    install_ = root_->path() + "norvik/";
    install_result_ = new ProcessResult(RunProcess(
        {CMAKE_COMMAND, "--install", PROJECT_BINARY_DIR, "--prefix", install_, "--strip"}));
  }
  static void TearDownTestSuite() {
    delete install_result_;
    delete root_;
  }
  void SetUp() override {
    ASSERT_EQ(install_result_->exit_code, 0) << install_result_->out << install_result_->err;
  }

  static Folder* root_;
  static std::string install_;  // the installed program folder, with "/"
  static ProcessResult* install_result_;
};
Folder* InstalledTest::root_ = nullptr;
std::string InstalledTest::install_;
ProcessResult* InstalledTest::install_result_ = nullptr;

TEST_F(InstalledTest, FlatFolderRunsByTheMainApplicationsNamesWithoutTheBuildTree) {
  EXPECT_EQ(Entries(install_), (std::vector<std::string>{"Kavel", "Kavel.exe", "Tolvan", "Tolvan.exe",
                                                         "kavel-mdb-reader", "kavel_window.so"}));
  EXPECT_EQ(fs::read_symlink(install_ + "Kavel.exe"), "Kavel");
  EXPECT_EQ(fs::read_symlink(install_ + "Tolvan.exe"), "Tolvan");
#ifndef SANITIZED_BUILD
  // (The sanitizers keep the full names of the source files of their checks, the build tree's
  // include folders among them: there the names are diagnostics, not files the programs open.)
  for (const char* file : {"Kavel", "Tolvan", "kavel-mdb-reader", "kavel_window.so"}) {
    EXPECT_EQ(ReadFile(install_ + file).find(PROJECT_BINARY_DIR), std::string::npos)
        << file << " names the build tree";
  }
#endif

  WriteSampleDatabase(install_ + "Data.Rpt");
  ProcessResult run = RunStarted(install_ + "Kavel.exe", {kCaption, "", "1"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(IsCheckResultList(install_ + "RepChk.pdf"));
  EXPECT_EQ(ParamFlagsIn(install_), (std::map<std::string, std::string>{{"PDF", "1"}}));
  EXPECT_EQ(LogTextsIn(install_), (std::vector<std::string>{"年月:" + kCaption,
                                                          "DBsource:" + install_ + "Data.Rpt"}));
  for (const char* file : {"Data.Rpt", "Pdf.log", "RepChk.pdf", "user.ini", "user.ini.lock"}) {
    fs::remove(install_ + file);
  }
}

// The folder the program is started from is the program folder: a copy (with its database
// reader), a link and a link found through PATH each work in their own folder, and leave the
// installed folder alone.
TEST_F(InstalledTest, CopyOrLinkInAnotherFolderMakesThatFolderTheProgramFolder) {
  struct Case {
    const char* name;
    bool link;            // else a copy
    bool through_path;    // started by its bare name, found through PATH
  } cases[] = {{"copy", false, false}, {"link", true, false}, {"link found through PATH", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Folder other("norvik-other");
    const std::string program = other.path() + "Kavel.exe";
    if (c.link) {
      fs::create_symlink(install_ + "Kavel", program);
    } else {
      fs::copy_file(install_ + "Kavel", program);
      fs::copy_file(install_ + "kavel-mdb-reader", other.path() + "kavel-mdb-reader");
    }
    WriteSampleDatabase(other.path() + "Data.Rpt");
    const std::vector<std::string> env{"PATH=/nonexistent:" + other.path() + ":/usr/bin:/bin"};
    ProcessResult run = RunStarted(c.through_path ? "Kavel.exe" : program, {kCaption, "", "1"}, env);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(IsCheckResultList(other.path() + "RepChk.pdf"));
    EXPECT_EQ(ParamFlagsIn(other.path()), (std::map<std::string, std::string>{{"PDF", "1"}}));
    EXPECT_EQ(LogTextsIn(other.path()).at(1), "DBsource:" + other.path() + "Data.Rpt");
    EXPECT_EQ(Entries(install_), (std::vector<std::string>{"Kavel", "Kavel.exe", "Tolvan", "Tolvan.exe",
                                                           "kavel-mdb-reader", "kavel_window.so"}));
  }
}

// The database is read by a program of its own beside the real program file: a copy of Kavel
// without it cannot open the database and ends the run like a missing database would, quietly
// and without a list. Nothing of libmdb runs inside Kavel.
TEST_F(InstalledTest, CopyWithoutItsDatabaseReaderEndsWithoutAList) {
  Folder other("norvik-other");
  fs::copy_file(install_ + "Kavel", other.path() + "Kavel.exe");
  WriteSampleDatabase(other.path() + "Data.Rpt");
  ProcessResult run = RunStarted(other.path() + "Kavel.exe", {kCaption, "", "1"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(other.path() + "RepChk.pdf"));
  EXPECT_EQ(ParamFlagsIn(other.path()), (std::map<std::string, std::string>{}));
  EXPECT_EQ(LogTextsIn(other.path()), (std::vector<std::string>{"年月:" + kCaption,
                                                              "DBsource:" + other.path() + "Data.Rpt"}));
  EXPECT_EQ(ReadFile(install_ + "Kavel").find("libmdb.so"), std::string::npos) << "Kavel links libmdb";
}

// A server program of a test, started through `timeout` so that it ends by itself should the
// test die first; stopped when the object goes. `setup` runs in the child before the program.
class ServerProcess {
 public:
  ServerProcess(std::vector<std::string> args, const std::function<void()>& setup) {
    args.insert(args.begin(), {"/usr/bin/timeout", "60"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      setup();
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~ServerProcess() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

 private:
  pid_t pid_ = -1;
};

// An Xvfb on a display number it picks itself (no race with other X servers of the machine);
// display() is empty when it could not start.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    server_ = std::make_unique<ServerProcess>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "3", "-nolisten", "tcp"},
        [&] {
          if (fds[0] != 3) ::close(fds[0]);  // else dup2 replaces it
          ::dup2(fds[1], 3);
        });
    ::close(fds[1]);
    // The server writes its display number once it accepts connections; the pipe closes
    // without a number when it fails.
    char c;
    std::string number;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  const std::string& display() const { return display_; }

 private:
  std::unique_ptr<ServerProcess> server_;
  std::string display_;
};

// With an X display, the window module is found beside the real program file even when the
// program is started through a link from another folder, and its windows go through Qt's X11
// plugin.
TEST_F(InstalledTest, LinkFromAnotherFolderLoadsTheWindowModuleBesideTheRealFile) {
  if (!fs::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb missing (scripts/setup.sh)";
  Xvfb x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Folder other("norvik-other");
  fs::create_symlink(install_ + "Kavel", other.path() + "Kavel.exe");
  WriteSampleDatabase(other.path() + "Data.Rpt");
  Folder scratch("norvik-loader");

  ProcessResult run = RunStarted(other.path() + "Kavel.exe", {kCaption, "", "1"},
                                 {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=", "LD_DEBUG=files",
                                  "LD_DEBUG_OUTPUT=" + scratch.path() + "loaded",
                                  "ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(run.exit_code, 0);
  // A missing module would be reported on standard error and the run go on without windows.
  EXPECT_EQ(run.err.find("Kavel: "), std::string::npos) << run.err;
  EXPECT_TRUE(IsCheckResultList(other.path() + "RepChk.pdf"));
  EXPECT_EQ(ParamFlagsIn(other.path()), (std::map<std::string, std::string>{{"PDF", "1"}}));
  const std::string loaded = LoadedFiles(scratch.path());
  EXPECT_NE(loaded.find(install_ + "kavel_window.so"), std::string::npos);
  EXPECT_NE(loaded.find("libqxcb.so"), std::string::npos);
}

// A headless Weston on its own socket in a runtime folder of the test.
class HeadlessWeston {
 public:
  explicit HeadlessWeston(const std::string& runtime_dir)
      : runtime_dir_(runtime_dir),
        server_({"/usr/bin/weston", "--backend=headless-backend.so", "--socket=" + kSocket,
                 "--idle-time=0"},
                [&] { ::setenv("XDG_RUNTIME_DIR", runtime_dir.c_str(), 1); }) {
    // Ready once its socket takes connections; given up after 30 s.
    for (int i = 0; i < 600 && !ready(); ++i) ::usleep(50 * 1000);
  }

  bool ready() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (runtime_dir_ + kSocket).c_str(), sizeof(address.sun_path) - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
  }
  static inline const std::string kSocket = "wayland-norvik-test";

 private:
  std::string runtime_dir_;
  ServerProcess server_;
};

// With only a Wayland display, the run's windows go through Qt's Wayland plugin.
TEST_F(InstalledTest, OnlyAWaylandDisplayRunsWithWindowsThroughTheWaylandPlugin) {
  if (!fs::exists("/usr/bin/weston")) GTEST_SKIP() << "weston missing (scripts/setup.sh)";
  Folder runtime("norvik-weston");
  ::chmod(runtime.path().c_str(), 0700);
  HeadlessWeston weston(runtime.path());
  ASSERT_TRUE(weston.ready());
  Folder other("norvik-other");
  fs::create_symlink(install_ + "Kavel", other.path() + "Kavel.exe");
  WriteSampleDatabase(other.path() + "Data.Rpt");
  const std::string loader_log = runtime.path() + "loaded";

  ProcessResult run = RunStarted(other.path() + "Kavel.exe", {kCaption, "", "1"},
                                 {"XDG_RUNTIME_DIR=" + runtime.path(),
                                  "WAYLAND_DISPLAY=" + HeadlessWeston::kSocket,
                                  "QT_QPA_PLATFORM=", "LD_DEBUG=files",
                                  "LD_DEBUG_OUTPUT=" + loader_log, "ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err.find("Kavel: "), std::string::npos) << run.err;
  EXPECT_TRUE(IsCheckResultList(other.path() + "RepChk.pdf"));
  EXPECT_EQ(ParamFlagsIn(other.path()), (std::map<std::string, std::string>{{"PDF", "1"}}));
  // The loader's own account of the run: the window module and Qt's Wayland plugin were loaded.
  const std::string loaded = LoadedFiles(runtime.path());
  EXPECT_NE(loaded.find(install_ + "kavel_window.so"), std::string::npos);
  EXPECT_NE(loaded.find("libqwayland-generic.so"), std::string::npos);
  EXPECT_EQ(loaded.find("libqxcb.so"), std::string::npos);
}

// A Windows caller under Wine passes the database path as Windows sees it; the file is found
// through the prefix's drive links, whatever the case of its letters.
TEST_F(InstalledTest, WindowsDatabasePathsResolveThroughTheWinePrefix) {
  Folder home("norvik-home");
  const std::string prefix = home.path() + "wineprefix/";
  fs::create_directories(prefix + "dosdevices");
  fs::create_directories(prefix + "drive_c/Norvik");
  fs::create_symlink("../drive_c", prefix + "dosdevices/c:");
  WriteSampleDatabase(prefix + "drive_c/Norvik/Data.Rpt");
  // The default prefix: ~/.wine, with its own drive c: holding a database too.
  fs::create_directories(home.path() + ".wine/dosdevices");
  fs::create_directories(home.path() + ".wine/drive_c/Norvik");
  fs::create_symlink("../drive_c", home.path() + ".wine/dosdevices/c:");
  WriteSampleDatabase(home.path() + ".wine/drive_c/Norvik/Data.Rpt");
  Folder unix_folder("norvik-unix");
  WriteSampleDatabase(unix_folder.path() + "Data.Rpt");

  const std::string with_prefix = "WINEPREFIX=" + prefix;
  const std::string home_only = "HOME=" + home.path();
  struct Case {
    std::string database;
    std::vector<std::string> env;
    bool opens;
  } cases[] = {
      {R"(C:\Norvik\Data.Rpt)", {with_prefix}, true},
      {R"(c:\NORVIK\data.rpt)", {with_prefix}, true},
      {"C:/Norvik/Data.Rpt", {with_prefix}, true},
      {R"(C:\Norvik\Data.Rpt)", {"WINEPREFIX=", home_only}, true},  // ~/.wine
      {unix_folder.path() + "Data.Rpt", {with_prefix}, true},       // a Unix path as it is
      {R"(D:\Norvik\Data.Rpt)", {with_prefix}, false},              // no such drive
      {R"(\\server\share\Data.Rpt)", {with_prefix}, false},
      {R"(\\?\C:\Norvik\Data.Rpt)", {with_prefix}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.database);
    Folder program_folder("norvik-wine-caller");
    const std::string program = program_folder.path() + "Kavel.exe";
    fs::create_symlink(install_ + "Kavel", program);
    ProcessResult run = RunStarted(program, {kCaption, c.database, "1"}, c.env);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(IsCheckResultList(program_folder.path() + "RepChk.pdf"), c.opens);
    EXPECT_EQ(ParamFlagsIn(program_folder.path()).count("PDF"), c.opens ? 1u : 0u);
    // The line names the default database whatever the argument says.
    EXPECT_EQ(LogTextsIn(program_folder.path()),
              (std::vector<std::string>{"年月:" + kCaption,
                                        "DBsource:" + program_folder.path() + "Data.Rpt"}));
  }
}

// A Unix socket file that nobody listens on: a compositor that has gone away.
std::string DeadSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    throw std::runtime_error("bind " + path);
  }
  ::close(fd);
  return path;
}

// A Unix socket that accepts connections (the kernel queues them) but never says a word.
class SilentSocket {
 public:
  explicit SilentSocket(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd_, 8) != 0) {
      throw std::runtime_error("listen " + path);
    }
  }
  ~SilentSocket() { ::close(fd_); }
  SilentSocket(const SilentSocket&) = delete;
  SilentSocket& operator=(const SilentSocket&) = delete;

 private:
  int fd_;
};

// A display that is named but cannot be reached never aborts the run: exports are written, the
// preview kinds say in one line that they cannot be shown.
TEST_F(InstalledTest, UnreachableDisplaysRunWithoutWindows) {
  Folder runtime("norvik-runtime");
  DeadSocket(runtime.path() + "wayland-9");
  SilentSocket silent(runtime.path() + "wayland-silent");
  const std::string runtime_dir = "XDG_RUNTIME_DIR=" + runtime.path();
  // A display number whose socket does not exist (nothing listens there).
  int number = 90;
  while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
  const std::string no_x = "DISPLAY=:" + std::to_string(number);

  struct Case {
    const char* name;
    std::vector<std::string> env;
  } displays[] = {
      {"unreachable DISPLAY", {no_x}},
      {"unreachable DISPLAY over TCP", {"DISPLAY=127.0.0.1:" + std::to_string(number)}},
      {"dead WAYLAND_DISPLAY", {runtime_dir, "WAYLAND_DISPLAY=wayland-9"}},
      {"WAYLAND_DISPLAY that speaks no Wayland", {runtime_dir, "WAYLAND_DISPLAY=wayland-silent"}},
      {"WAYLAND_DISPLAY without a runtime folder", {"XDG_RUNTIME_DIR=", "WAYLAND_DISPLAY=wayland-9"}},
      {"both", {no_x, runtime_dir, "WAYLAND_DISPLAY=wayland-9"}},
  };
  for (const Case& d : displays) {
    SCOPED_TRACE(d.name);
    Folder program_folder("norvik-display");
    const std::string program = program_folder.path() + "Kavel.exe";
    fs::create_symlink(install_ + "Kavel", program);
    WriteSampleDatabase(program_folder.path() + "Data.Rpt");

    ProcessResult exported = RunStarted(program, {kCaption, "", "1"}, d.env);
    EXPECT_EQ(exported.exit_code, 0);
    EXPECT_EQ(exported.err, "");
    EXPECT_TRUE(IsCheckResultList(program_folder.path() + "RepChk.pdf"));
    EXPECT_EQ(ParamFlagsIn(program_folder.path()), (std::map<std::string, std::string>{{"PDF", "1"}}));

    ProcessResult preview = RunStarted(program, {kCaption, "", "2"}, d.env);
    EXPECT_EQ(preview.exit_code, 0);
    EXPECT_EQ(preview.err,
              "Kavel: プレビューを表示できません: 画面に接続できません (DISPLAY / WAYLAND_DISPLAY)\n");
  }
}

// A program folder that takes no new file (no write permission) still has its existing PDF
// and user.ini replaced: they are overwritten in place, and the flag is set. Run as an
// ordinary user, since permission bits do not stop root.
TEST_F(InstalledTest, FolderWithoutWritePermissionHasItsPdfOverwrittenInPlace) {
  std::vector<std::string> as_user;
  if (::geteuid() == 0) {
    if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv missing";
    as_user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  Folder program_folder("norvik-closed");
  const std::string& folder = program_folder.path();
  fs::copy_file(install_ + "Kavel", folder + "Kavel");
  fs::copy_file(install_ + "kavel-mdb-reader", folder + "kavel-mdb-reader");
  WriteSampleDatabase(folder + "Data.Rpt");
  std::ofstream(folder + "RepChk.pdf") << "yesterday's list";
  std::ofstream(folder + "Pdf.log");
  std::ofstream(folder + "user.ini") << "[PARAM]\r\nPDF=0\r\n";
  for (const char* file : {"RepChk.pdf", "Pdf.log", "Data.Rpt", "user.ini"}) {
    ::chmod((folder + file).c_str(), 0666);
  }
  ::chmod(folder.c_str(), 0555);

  std::vector<std::string> argv = as_user;
  argv.insert(argv.end(), {folder + "Kavel", kCaption, "", "1"});
  ProcessResult run = RunProcess(argv, "/");
  ::chmod(folder.c_str(), 0755);

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(IsCheckResultList(folder + "RepChk.pdf")) << run.err;
  EXPECT_EQ(run.err.find("処理を中止"), std::string::npos) << run.err;
  EXPECT_EQ(ParamFlagsIn(folder), (std::map<std::string, std::string>{{"PDF", "1"}}));
  EXPECT_EQ(Entries(folder),
            (std::vector<std::string>{"Data.Rpt", "Kavel", "Pdf.log", "RepChk.pdf",
                                      "kavel-mdb-reader", "user.ini"}));
}

}  // namespace
}  // namespace kavel_e2e

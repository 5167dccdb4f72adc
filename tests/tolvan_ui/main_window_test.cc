// The updater's main window with the real update run against the HTTPS test server, driven
// like a user would: its controls at start, the run's calls carried over from the worker
// thread, message boxes and the confirmation dialog answered by clicks, and closing the window
// at awkward moments of a run.
#include "tolvan/main_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/program_folder_override_for_testing.h"
#include "common/settings.h"
#include "common/temp_folder_for_testing.h"
#include "tests/tolvan_server/test_server.h"
#include "tolvan/cfm_dsp.h"
#include "tolvan/program_starter.h"

namespace tolvan_test {
namespace {

using tolvan::MessageKind;
using tolvan::TfrmCfmDsp;
using tolvan::TfrmMain;

template <typename T>
T* Child(QObject& window, const char* name) {
  T* child = window.findChild<T*>(QLatin1String(name));
  if (child == nullptr) throw std::runtime_error(std::string("no control ") + name);
  return child;
}

std::string Text(const QString& text) { return text.toStdString(); }

class RecordingStarter : public tolvan::ProgramStarter {
 public:
  bool Open(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(path);
    return true;
  }
  bool RunAs(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ran_as_.push_back(path);
    return true;
  }
  std::vector<std::string> opened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.clear();
    ran_as_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> opened_;
  std::vector<std::string> ran_as_;
};

// Answers the modal windows that come up, one action per window, in order. Polls from a timer,
// because a modal window runs its own event loop until it is answered.
class ModalAnswerer {
 public:
  using Action = std::function<void(QWidget* modal)>;
  ModalAnswerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }
  void Then(Action action) { actions_.push_back(std::move(action)); }
  size_t answered() const { return answered_; }
  bool idle() const { return actions_.empty(); }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == last_ || !modal->isVisible() || actions_.empty()) return;
    last_ = modal;
    Action action = std::move(actions_.front());
    actions_.pop_front();
    ++answered_;
    action(modal);
  }
  QTimer timer_;
  std::deque<Action> actions_;
  QPointer<QWidget> last_;
  size_t answered_ = 0;
};

// An action that checks a message box and presses its OK button.
ModalAnswerer::Action ExpectMessage(QMessageBox::Icon icon, const std::string& caption,
                                    const std::string& text) {
  return [=](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr) << "not a message box: " << modal->metaObject()->className();
    EXPECT_EQ(box->icon(), icon);
    EXPECT_EQ(Text(box->windowTitle()), caption);
    EXPECT_EQ(Text(box->text()), text);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(Text(box->buttons()[0]->text()), "OK");
    QTest::mouseClick(box->buttons()[0], Qt::LeftButton);
  };
}

// Clicks a choice of the confirmation dialog, then OK.
ModalAnswerer::Action ChooseInDialog(const char* radio) {
  return [=](QWidget* modal) {
    auto* dialog = qobject_cast<TfrmCfmDsp*>(modal);
    ASSERT_NE(dialog, nullptr) << "not the dialog: " << modal->metaObject()->className();
    QTest::mouseClick(Child<QRadioButton>(*dialog, radio), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(*dialog, "Button1"), Qt::LeftButton);
  };
}

// A program folder with Norvik.exe 2.0.0.2 and a master database of version 1.0.0.2, and the
// update server's folder "data/QX/".
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    TrustTestCa();
    std::filesystem::create_directories(pf_);
    std::filesystem::create_directories(served_);
    common::OverrideProgramFolderForTesting(pf_);
    Write(pf_ + "Norvik.exe", Pe("v2.0.0.2.exe"));
    Write(pf_ + "MST.FDB", "installed master database\n");
    common::IFWriteIniStr("PARAM", "DBVERSION", "1.0.0.2");
    Write(served_ + "Norvik.exe", Pe("v2.0.0.3.exe"));
    Write(served_ + "MST.FDB", std::string(300000, 'M'));
  }
  ~MainWindowTest() override {
    window_.reset();
    common::OverrideProgramFolderForTesting("");
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Pe(const std::string& fixture) {
    return Read(std::string(TOLVAN_PE_DIR) + fixture);
  }

  void Serve(const std::string& list, const std::string& rules = "{}") {
    server_ = std::make_unique<TestServer>(root_.path() + "srv/");
    server_->SetRules(rules);
    Write(served_ + "UList", list);
    common::IFWriteIniStr("PARAM", "NVKMST", server_->Url("/data/QX/"));
  }

  TfrmMain& MakeWindow() {
    tolvan::FlowOptions options;
    options.starter = &starter_;
    options.free_bytes = [this](const std::string&) { return free_bytes_; };
    options.connect_timeout_ms = 3000;
    options.stall_timeout_ms = stall_timeout_ms_;
    window_ = std::make_unique<TfrmMain>(options, [this](const std::string& address) {
      sites_opened_.push_back(address);
    });
    return *window_;
  }

  // Shows the window (which starts the run) and waits until it has closed for good.
  void ShowAndWaitForClose(int timeout_ms = 10000) {
    window_->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_->FormClosed(); }, timeout_ms));
  }

  common::TempFolderForTesting root_;
  const std::string pf_ = root_.path() + "pf/";
  const std::string served_ = root_.path() + "srv/data/QX/";
  std::unique_ptr<TestServer> server_;
  RecordingStarter starter_;
  int64_t free_bytes_ = int64_t{10} * 1024 * 1024 * 1024;
  int64_t stall_timeout_ms_ = 5000;
  std::vector<std::string> sites_opened_;
  std::unique_ptr<TfrmMain> window_;
  ModalAnswerer answerer_;
};

TEST_F(MainWindowTest, ControlsAtStart) {
  TfrmMain& w = MakeWindow();
  EXPECT_EQ(Text(w.windowTitle()), "マスター更新");
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(w.isWindow());
  // The outer height of 130 pixels cuts the design area off below the progress bar.
  EXPECT_EQ(w.width(), 325);
  EXPECT_LT(w.height(), 130);
  EXPECT_GE(w.height(), 82);

  const struct {
    const char* name;
    QRect geometry;  // empty: sized to its text
    bool hidden;
    const char* text;
  } controls[] = {
      {"Label2", {42, 17, 244, 23}, true, "マスター更新中"},
      {"Label3", {}, false, "build:2.0.0.2"},
      {"ProgressBar1", {42, 46, 244, 36}, true, nullptr},
      {"Button2", {16, 128, 75, 25}, true, "自動更新"},
      {"Button1", {124, 45, 75, 25}, true, "終了"},
  };
  for (const auto& c : controls) {
    SCOPED_TRACE(c.name);
    auto* widget = Child<QWidget>(w, c.name);
    if (!c.geometry.isEmpty()) {
      EXPECT_EQ(widget->geometry(), c.geometry);
    }
    EXPECT_EQ(widget->isHidden(), c.hidden);
    if (c.text != nullptr) {
      EXPECT_EQ(Text(widget->property("text").toString()), c.text);
    }
  }
  EXPECT_EQ(Child<QWidget>(w, "Label3")->pos(), QPoint(255, 0));
  auto* label2 = Child<QLabel>(w, "Label2");
  EXPECT_EQ(label2->font().pixelSize(), 19);
  EXPECT_EQ(label2->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_TRUE(label2->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(w.font().pixelSize(), 11);

  // Creation has set up the run (IniSet) but not started it.
  EXPECT_EQ(common::IFReadIniStr("EXPAND", "STAUS", ""), "START");
  EXPECT_TRUE(std::filesystem::is_directory(pf_ + "Log"));
  EXPECT_FALSE(std::filesystem::exists(pf_ + "DownLoad"));
}

// The run's display calls come from its worker thread and must show, in order, on the window.
TEST_F(MainWindowTest, DisplayCallsFromTheRunShowInOrder) {
  TfrmMain& w = MakeWindow();
  std::thread run([&] {
    w.SetStatusVisible(true);
    w.SetStatusText("更新ファイルチェック中です");
    w.SetBusyCursor(true);
    w.SetProgressVisible(true);
    w.SetProgressMax(1000);
    for (int i = 0; i <= 1200; i += 100) w.SetProgressPosition(i);  // past the end: held at max
    w.SetStatusText("残り　0 バイト");
    w.ShowButton1();
  });
  run.join();
  QApplication::processEvents();
  auto* label2 = Child<QLabel>(w, "Label2");
  auto* bar = Child<QProgressBar>(w, "ProgressBar1");
  EXPECT_FALSE(label2->isHidden());
  EXPECT_EQ(Text(label2->text()), "残り　0 バイト");
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->maximum(), 1000);
  EXPECT_EQ(bar->value(), 1000);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_FALSE(Child<QWidget>(w, "Button1")->isHidden());
  EXPECT_TRUE(Child<QWidget>(w, "Button1")->isEnabled());
  EXPECT_TRUE(Child<QWidget>(w, "Button2")->isHidden());

  // An unknown length leaves the bar empty, whatever arrives.
  std::thread more([&] {
    w.SetProgressMax(0);
    w.SetProgressPosition(5000);
    w.SetBusyCursor(false);
  });
  more.join();
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Every status text is drawn whole in the fixed box of the status line.
  for (const char* status : {"インターネットに接続されていません", "更新用ファイルが見つかりません",
                             "新しい更新はありません", "      マスター更新中     ",
                             "残り　4294967295 バイト", "ダウンロード終了"}) {
    SCOPED_TRACE(status);
    w.SetStatusText(status);
    EXPECT_EQ(Text(label2->text()), status);
    EXPECT_LE(QFontMetrics(label2->font()).horizontalAdvance(label2->text()),
              label2->contentsRect().width());
  }
}

TEST_F(MainWindowTest, MessageBoxesFromTheRunBlockUntilOk) {
  TfrmMain& w = MakeWindow();
  answerer_.Then(ExpectMessage(QMessageBox::Information, "情報", "一行目\n二行目\n三行目"));
  answerer_.Then(ExpectMessage(QMessageBox::Warning, "警告", "<b>そのまま</b>"));
  answerer_.Then(ExpectMessage(QMessageBox::Critical, "Tolvan", "HTTP/1.1 500 Internal"));
  bool done = false;
  std::thread run([&] {
    // Lone CR and CR LF line breaks both start new lines.
    w.ShowMessage(MessageKind::kInformation, "一行目\r二行目\r\n三行目");
    w.ShowMessage(MessageKind::kWarning, "<b>そのまま</b>");
    w.ReportError("HTTP/1.1 500 Internal");
    done = true;
  });
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return answerer_.idle() && QApplication::activeModalWidget() == nullptr; }, 5000));
  run.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(answerer_.answered(), 3u);
}

TEST_F(MainWindowTest, NoNewUpdateRunShowsItsStatusStartsTheMainApplicationAndCloses) {
  Serve("MST.FDB,1.0.0.2\r\nNorvik.exe,2.0.0.2\r\n");
  TfrmMain& w = MakeWindow();
  QSignalSpy closed(&w, &TfrmMain::closed);
  ShowAndWaitForClose();
  EXPECT_EQ(Text(Child<QLabel>(w, "Label2")->text()), "新しい更新はありません");
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(starter_.opened(), std::vector<std::string>{pf_ + "Norvik.exe"});
  EXPECT_EQ(common::IFReadIniStr("PARAM", "NOUPD", ""), "1");
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, TooLittleRoomWarnsAndWaitsForButton1) {
  free_bytes_ = int64_t{149} * 1024 * 1024 + 1023;
  TfrmMain& w = MakeWindow();
  answerer_.Then(ExpectMessage(QMessageBox::Warning, "警告",
                               "容量不足のため更新できません\n"
                               "150MB以上の空き容量が必要です\n"
                               "空き容量：149MB\n"
                               "空き容量を増やした後、再度マスター更新を行ってください"));
  w.show();
  auto* button1 = Child<QPushButton>(w, "Button1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.RunFinished() && !button1->isHidden(); }, 5000));
  QApplication::processEvents();
  EXPECT_EQ(answerer_.answered(), 1u);
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(Child<QWidget>(w, "Label2")->isHidden());
  EXPECT_TRUE(starter_.opened().empty());

  QTest::mouseClick(button1, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.FormClosed(); }, 5000));
  EXPECT_EQ(starter_.opened(), std::vector<std::string>{pf_ + "Norvik.exe"});
}

TEST_F(MainWindowTest, ChoiceInTheDialogDecidesWhatIsApplied) {
  const struct {
    const char* name;
    const char* list;
    const char* radio;
    bool master_replaced;
  } rows[] = {
      // Program only: the second choice declines.
      {"program only, declined", "MST.FDB,1.0.0.2\r\nNorvik.exe,2.0.0.3\r\n", "RadioButton2",
       false},
      // Both offered: the second choice is the master database alone.
      {"both, master only", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n", "RadioButton2", true},
  };
  const std::string installed = Read(pf_ + "MST.FDB");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Write(pf_ + "MST.FDB", installed);
    Serve(row.list);
    MakeWindow();
    ModalAnswerer answerer;
    answerer.Then(ChooseInDialog(row.radio));
    ShowAndWaitForClose();
    EXPECT_EQ(answerer.answered(), 1u);
    EXPECT_EQ(Read(pf_ + "MST.FDB") == Read(served_ + "MST.FDB"), row.master_replaced);
    EXPECT_EQ(starter_.opened(), std::vector<std::string>{pf_ + "Norvik.exe"});
    window_.reset();
    starter_.Clear();
  }
}

TEST_F(MainWindowTest, ErrorEndingTheRunIsReportedAndTheWindowStaysOpen) {
  Serve("Norvik.exe,2.0.0.3\r\n", R"({"GET /data/QX/UList": {"status": 500}})");
  TfrmMain& w = MakeWindow();
  bool reported = false;
  answerer_.Then([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_NE(Text(box->text()).find("500"), std::string::npos) << Text(box->text());
    reported = true;
    QTest::mouseClick(box->buttons()[0], Qt::LeftButton);
  });
  w.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.RunFinished(); }, 10000));
  QApplication::processEvents();
  EXPECT_TRUE(reported);
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(w.FormClosed());
  EXPECT_TRUE(Child<QWidget>(w, "Button1")->isHidden());
  EXPECT_FALSE(Child<QWidget>(w, "ProgressBar1")->isHidden());
  EXPECT_TRUE(starter_.opened().empty());

  // Closing now starts the main application: no download of this run has completed.
  w.close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.FormClosed(); }, 5000));
  EXPECT_EQ(starter_.opened(), std::vector<std::string>{pf_ + "Norvik.exe"});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Closing while the run waits for a stalled server, for the user's choice, or for a message
// box: the run stops, the window closes at once and for good, and nothing hangs.
TEST_F(MainWindowTest, ClosingDuringARunEndsItCleanly) {
  const struct {
    const char* name;
    const char* list;
    const char* rules;
    std::function<bool(TfrmMain&)> ready;  // the moment to close
    const char* download;  // [UPD] Download afterwards: "1" until a download has completed
    size_t main_starts;    // by the closing window, only while Download reads "1"
  } rows[] = {
      {"stalled download", "Norvik.exe,2.0.0.3\r\n",
       R"({"GET /data/QX/UList": {"stall": 30, "stall_after": 0}})",
       [](TfrmMain& w) { return !Child<QWidget>(w, "ProgressBar1")->isHidden(); }, "1", 1},
      {"confirmation dialog open", "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n", "{}",
       [](TfrmMain&) { return qobject_cast<TfrmCfmDsp*>(QApplication::activeModalWidget()); },
       "", 0},
      {"message box open", "Norvik.exe,2.0.0.3\r\n",
       R"({"HEAD /data/QX/UList": {"status": 503}})",
       [](TfrmMain&) { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
       "1", 1},
  };
  const std::string installed = Read(pf_ + "MST.FDB");
  stall_timeout_ms_ = 60000;  // the server's silence outlasts the test unless closing ends it
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Serve(row.list, row.rules);
    TfrmMain& w = MakeWindow();
    QSignalSpy closed(&w, &TfrmMain::closed);
    w.show();
    // Checked from a timer: a modal window holds its own event loop until it closes.
    bool was_ready = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!was_ready && row.ready(w)) {
        was_ready = true;
        w.close();
      }
    });
    poll.start(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return was_ready; }, 10000));
    EXPECT_FALSE(w.isVisible());
    // Well before the server's silence (30 s) or the run's stall limit (60 s) could end it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.FormClosed(); }, 10000));
    poll.stop();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Nothing was applied, and nothing of the run's ending happened.
    EXPECT_EQ(Read(pf_ + "MST.FDB"), installed);
    EXPECT_EQ(common::IFReadIniStr("UPD", "Download", ""), row.download);
    EXPECT_EQ(starter_.opened().size(), row.main_starts);
    // The run has really stopped: the window can go at once.
    EXPECT_TRUE(w.RunFinished());
    window_.reset();
    server_.reset();
    starter_.Clear();
  }
}

}  // namespace
}  // namespace tolvan_test

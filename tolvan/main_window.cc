#include "tolvan/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QThread>

#include <algorithm>
#include <exception>

#include "tolvan/qt_support.h"
#include "tolvan/ui_texts.h"

namespace tolvan {
namespace {

namespace ut = ui_texts;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TfrmMain::TfrmMain(const UpdateContext& context, TfrmCfmDsp::UrlOpener open_url)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      open_url_(std::move(open_url)) {
  setObjectName(QStringLiteral("TfrmMain"));
  setWindowTitle(Q(ut::kMainTitle));
  setFont(UiFont(ut::kBaseFontPixels));
  setAttribute(Qt::WA_QuitOnClose, false);  // the program ends on closed(), after FormClose

  Label2_ = new QLabel(this);
  Label2_->setObjectName(QStringLiteral("Label2"));
  Label2_->setTextFormat(Qt::PlainText);
  Label2_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label2_->setFont(UiFont(ut::kLabel2FontPixels));
  QPalette red = Label2_->palette();
  red.setColor(QPalette::WindowText, QColor(QString::fromLatin1(ut::kLabel2Color)));
  Label2_->setPalette(red);
  Place(Label2_, ut::kLabel2Box);
  SetFittedText(Label2_, Q(ut::kLabel2DesignText));

  Label3_ = new QLabel(Q(ut::kLabel3Text), this);
  Label3_->setObjectName(QStringLiteral("Label3"));
  Label3_->move(ut::kLabel3Box.left, ut::kLabel3Box.top);
  Label3_->adjustSize();

  ProgressBar1_ = new QProgressBar(this);
  ProgressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1_->setTextVisible(false);
  ProgressBar1_->setRange(0, 100);
  ProgressBar1_->setValue(0);
  Place(ProgressBar1_, ut::kProgressBar1Box);

  Button2_ = new QPushButton(Q(ut::kButton2Text), this);
  Button2_->setObjectName(QStringLiteral("Button2"));
  Place(Button2_, ut::kButton2Box);
  Button2_->hide();

  Button1_ = new QPushButton(Q(ut::kButton1Text), this);
  Button1_->setObjectName(QStringLiteral("Button1"));
  Place(Button1_, ut::kButton1Box);
  Button1_->hide();
  connect(Button1_, &QPushButton::clicked, this, [this] { Button1Click(); });

  // IniSet, the window's part: the outer height cuts off Button2's row; the status line and
  // the progress bar start hidden.
  setFixedSize(ut::kMainClientWidth, ut::kMainClientHeight);
  Label2_->hide();
  ProgressBar1_->hide();

  flow_ = std::make_unique<UpdateFlow>(*this, context);
  flow_->IniSet();
  CentreOnScreen(this);
}

TfrmMain::~TfrmMain() {
  EndQuestions();
  flow_->Cancel();
  if (worker_.joinable()) worker_.join();
  SetBusy(false);
}

bool TfrmMain::OnWindowThread() const { return QThread::currentThread() == thread(); }

void TfrmMain::Post(std::function<void()> update) {
  if (OnWindowThread()) {
    update();
    return;
  }
  // Queued calls to one receiver from one thread are delivered in the order posted, and are
  // dropped with the window; the worker never outlives it (the destructor joins it).
  QMetaObject::invokeMethod(this, std::move(update), Qt::QueuedConnection);
}

void TfrmMain::SetStatusText(const std::string& text) {
  Post([this, text = ToQString(text)] {
    SetFittedText(Label2_, text);
    Label2_->repaint();
  });
}

void TfrmMain::SetStatusVisible(bool visible) {
  Post([this, visible] { Label2_->setVisible(visible); });
}

void TfrmMain::SetProgressVisible(bool visible) {
  Post([this, visible] { ProgressBar1_->setVisible(visible); });
}

void TfrmMain::SetProgressMax(int32_t maximum) {
  Post([this, maximum] {
    progress_max_ = maximum;
    // A length the run does not know leaves the bar empty (a range of 0..0 would make Qt
    // show a busy animation instead).
    const int position = ProgressBar1_->value();
    ProgressBar1_->setRange(0, std::max(maximum, 1));
    ProgressBar1_->setValue(maximum > 0 ? std::clamp(position, 0, maximum) : 0);
  });
}

void TfrmMain::SetProgressPosition(int32_t position) {
  Post([this, position] {
    // The bar holds the position within its range, as the desktop's progress bar does.
    ProgressBar1_->setValue(progress_max_ > 0 ? std::clamp(position, 0, progress_max_) : 0);
  });
}

void TfrmMain::SetBusyCursor(bool busy) {
  Post([this, busy] { SetBusy(busy); });
}

void TfrmMain::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TfrmMain::ShowButton1() {
  Post([this] {
    Button1_->setEnabled(true);
    Button1_->show();
  });
}

int32_t TfrmMain::RunModal(QDialog& box, const std::function<int32_t()>& exec) {
  open_boxes_.emplace_back(&box);
  const int32_t answer = exec();
  std::erase_if(open_boxes_, [&](const QPointer<QDialog>& p) { return p.isNull() || p == &box; });
  return answer;
}

int32_t TfrmMain::Ask(std::function<int32_t()> ask, int32_t if_closing) {
  // The window's own handlers (Button1, FormClose) ask directly: waiting for a hand-off to
  // this very thread would never end.
  if (OnWindowThread()) return ask();
  auto question = std::make_shared<Question>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return if_closing;
  }
  QMetaObject::invokeMethod(
      this,
      [this, question, ask = std::move(ask)] {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (closing_) return;
        }
        const int32_t answer = ask();
        std::lock_guard<std::mutex> lock(mutex_);
        question->answered = true;
        question->answer = answer;
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  answered_.wait(lock, [&] { return question->answered || closing_; });
  return question->answered ? question->answer : if_closing;
}

void TfrmMain::ShowMessage(MessageKind kind, const std::string& text) {
  Ask(
      [this, kind, text] {
        std::unique_ptr<QMessageBox> box = MakeMessageBox(this, kind, text);
        return RunModal(*box, [&] {
          box->exec();
          return 0;
        });
      },
      0);
}

void TfrmMain::ReportError(const std::string& text) {
  Ask(
      [this, text] {
        std::unique_ptr<QMessageBox> box =
            MakeMessageBox(this, MessageKind::kError, text, ut::kErrorReportCaption);
        return RunModal(*box, [&] {
          box->exec();
          return 0;
        });
      },
      0);
}

CfmAnswer TfrmMain::DspSet(int32_t pinPKbn, int32_t pinMKbn) {
  return static_cast<CfmAnswer>(Ask(
      [this, pinPKbn, pinMKbn] {
        // The dialog lives for this one question.
        TfrmCfmDsp frmCfmDsp(this, open_url_);
        return RunModal(frmCfmDsp, [&] {
          return static_cast<int32_t>(frmCfmDsp.DspSet(pinPKbn, pinMKbn));
        });
      },
      static_cast<int32_t>(CfmAnswer::kNothing)));
}

void TfrmMain::CloseWindow() {
  // Always queued: the caller may be in the middle of a handler of this window.
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Started from the event loop, so that the window is drawn before the run's first step.
  if (!run_started_) {
    QMetaObject::invokeMethod(this, [this] { FormActivate(); }, Qt::QueuedConnection);
  }
}

void TfrmMain::FormActivate() {
  if (run_started_ || form_closed_ || close_pending_) return;
  run_started_ = true;
  worker_ = std::thread([this] {
    try {
      flow_->FormActivate();
    } catch (...) {
      // The flow reports its own errors; nothing may escape the thread.
    }
    run_finished_.store(true);
    QMetaObject::invokeMethod(this, [this] { OnRunFinished(); }, Qt::QueuedConnection);
  });
}

void TfrmMain::OnRunFinished() {
  if (worker_.joinable()) worker_.join();
  if (close_pending_) {
    close_pending_ = false;
    close();
  }
}

void TfrmMain::Button1Click() { flow_->Button1Click(); }

void TfrmMain::EndQuestions() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    answered_.notify_all();
  }
  for (const QPointer<QDialog>& box : open_boxes_) {
    if (!box.isNull()) box->reject();
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (form_closed_) {
    event->accept();
    return;
  }
  EndQuestions();
  flow_->Cancel();
  if (run_started_ && !run_finished_.load()) {
    // The worker ends within about a second of Cancel(); FormClose follows once it has, so
    // the run and the closing never overlap. The window goes out of sight meanwhile.
    close_pending_ = true;
    hide();
    event->ignore();
    return;
  }
  form_closed_ = true;
  SetBusy(false);
  flow_->FormClose();
  event->accept();
  emit closed();
}

}  // namespace tolvan

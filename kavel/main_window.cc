#include "kavel/main_window.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <exception>
#include <string>

#include "common/text_format.h"
#include "kavel/qt_run_ui.h"
#include "kavel/run_flow.h"
#include "kavel/texts.h"
#include "kavel/window_run.h"

namespace kavel {

TfrmMain::TfrmMain(const std::vector<std::string>& arguments, common::Env& env,
                   ConsoleUi& console)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<QtRunUi>(this, console)),
      flow_(std::make_unique<RunFlow>(env, *ui_)) {
  setWindowTitle(QString::fromUtf8(kMainCaption));
  setFixedSize(kMainClientWidth, kMainClientHeight);
  setFont(QFont(QString::fromUtf8(kMainFontFamily), kMainFontPoints));
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  button1_ = new QPushButton(QString::fromUtf8(kButton1Caption), this);
  button1_->setObjectName(QString::fromUtf8(kButton1Name));
  button1_->setGeometry(0, 0, kButton1Width, kButton1Height);
  // Exceptions must not cross Qt's event handling: a failure to write Pdf.log or user.ini is
  // shown here, as FormShow does for its own click.
  connect(button1_, &QPushButton::clicked, this, [this] {
    try {
      flow_->Button1Click();
    } catch (const std::exception& e) {
      ui_->ShowFatal(common::FillIn(kRunStopped, {e.what()}));
    }
  });
  flow_->FormCreate(arguments);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::FormShow() {
  flow_->FormShow();
  close();
}

void RunWithWindow(int argc, char** argv, const WindowRunContext& context) {
  QApplication app(argc, argv);
  TfrmMain window(*context.arguments, *context.env, *context.console);
  window.FormShow();
}

}  // namespace kavel

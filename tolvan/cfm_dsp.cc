#include "tolvan/cfm_dsp.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include "common/shell_start.h"
#include "tolvan/qt_support.h"
#include "tolvan/ui_texts.h"

namespace tolvan {
namespace {

namespace ut = ui_texts;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// A radio button that takes a click anywhere in its box, as the desktop's own radio buttons do;
// the second choice has no text in the master-only situation and must still be choosable.
class BoxRadioButton final : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, const ut::Box& box,
                  int font_pixels, Qt::Alignment alignment) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  label->setFont(UiFont(font_pixels));
  label->setAlignment(alignment);
  Place(label, box);
  SetFittedText(label, Q(text));
  return label;
}

}  // namespace

TfrmCfmDsp::TfrmCfmDsp(QWidget* parent, UrlOpener open_url)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      open_url_(std::move(open_url)) {
  if (!open_url_) {
    open_url_ = [](const std::string& address) { common::ShellOpen(address); };
  }
  setObjectName(QStringLiteral("TfrmCfmDsp"));
  setWindowTitle(Q(ut::kCfmTitle));
  setFont(UiFont(ut::kBaseFontPixels));
  resize(ut::kCfmClientWidth, ut::kCfmClientHeight);
  setSizeGripEnabled(false);

  const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
  const Qt::Alignment left = Qt::AlignLeft | Qt::AlignTop;
  Label1_ = MakeLabel(this, "Label1", ut::kCfmLabel1Design, ut::kCfmLabel1Box,
                      ut::kCfmLabel1FontPixels, centred);
  Label2_ = MakeLabel(this, "Label2", ut::kCfmLabel2Design, ut::kCfmLabel2Box,
                      ut::kCfmLabel2FontPixels, centred);

  Button1_ = new QPushButton(Q(ut::kCfmButton1Text), this);
  Button1_->setObjectName(QStringLiteral("Button1"));
  Place(Button1_, ut::kCfmButton1Box);
  Button2_ = new QPushButton(Q(ut::kCfmButton2Text), this);
  Button2_->setObjectName(QStringLiteral("Button2"));
  Place(Button2_, ut::kCfmButton2Box);

  GroupBox1_ = new QGroupBox(this);
  GroupBox1_->setObjectName(QStringLiteral("GroupBox1"));
  Place(GroupBox1_, ut::kCfmGroupBox1Box);
  RadioButton1_ = new BoxRadioButton(Q(ut::kCfmRadio1Design), GroupBox1_);
  RadioButton1_->setObjectName(QStringLiteral("RadioButton1"));
  Place(RadioButton1_, ut::kCfmRadioButton1Box);
  RadioButton2_ = new BoxRadioButton(Q(ut::kCfmRadio2Design), GroupBox1_);
  RadioButton2_->setObjectName(QStringLiteral("RadioButton2"));
  Place(RadioButton2_, ut::kCfmRadioButton2Box);
  RadioButton1_->setChecked(true);

  Label5_ = MakeLabel(this, "Label5", ut::kCfmLabel5Text, ut::kCfmLabel5Box,
                      ut::kCfmLabel56FontPixels, left);
  Label6_ = MakeLabel(this, "Label6", ut::kCfmLabel6Text, ut::kCfmLabel6Box,
                      ut::kCfmLabel56FontPixels, left);

  // Tab order: OK, the site button, then the choices.
  setTabOrder(Button1_, Button2_);
  setTabOrder(Button2_, RadioButton1_);
  setTabOrder(RadioButton1_, RadioButton2_);

  connect(Button1_, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2_, &QPushButton::clicked, this, [this] { Button2Click(); });
}

TfrmCfmDsp::~TfrmCfmDsp() = default;

CfmAnswer TfrmCfmDsp::DspSet(int32_t pinPKbn, int32_t pinMKbn) {
  minResult_ = CfmAnswer::kNothing;
  minPKbn_ = pinPKbn;
  minMKbn_ = pinMKbn;
  exec();
  return minResult_;
}

void TfrmCfmDsp::IniSet() {
  const char* label1 = nullptr;
  const char* label2 = nullptr;
  const char* radio1 = nullptr;
  const char* radio2 = nullptr;
  if (minPKbn_ == 1 && minMKbn_ == 1) {
    label1 = ut::kCfmBothLabel1;
    label2 = ut::kCfmBothLabel2;
    radio1 = ut::kCfmBothRadio1;
    radio2 = ut::kCfmBothRadio2;
  } else if (minPKbn_ == 1) {
    label1 = ut::kCfmProgramLabel1;
    label2 = ut::kCfmProgramLabel2;
    radio1 = ut::kCfmProgramRadio1;
    radio2 = ut::kCfmProgramRadio2;
  } else if (minMKbn_ == 1) {
    label1 = ut::kCfmMasterLabel1;
    label2 = ut::kCfmMasterLabel2;
    radio1 = ut::kCfmMasterRadio1;
    radio2 = ut::kCfmMasterRadio2;
  } else {
    return;
  }
  SetFittedText(Label1_, Q(label1));
  SetFittedText(Label2_, Q(label2));
  RadioButton1_->setText(Q(radio1));
  RadioButton2_->setText(Q(radio2));
}

void TfrmCfmDsp::Button1Click() {
  if (RadioButton1_->isChecked()) minResult_ = CfmAnswer::kFirstChoice;
  if (RadioButton2_->isChecked()) minResult_ = CfmAnswer::kSecondChoice;
  if (minPKbn_ == 1 && minMKbn_ != 1 && RadioButton2_->isChecked()) {
    minResult_ = CfmAnswer::kNothing;
  }
  accept();
}

void TfrmCfmDsp::Button2Click() { GoToURL(ut::kProductSiteUrl); }

void TfrmCfmDsp::GoToURL(const std::string& DocName) {
  try {
    open_url_(DocName);
  } catch (...) {
    // Opening the site is a courtesy; the question stays open either way.
  }
}

void TfrmCfmDsp::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    IniSet();
    Button1_->setFocus(Qt::OtherFocusReason);
    if (!centred_) {
      centred_ = true;
      CentreOnScreen(this);
    }
  }
  QDialog::showEvent(event);
}

}  // namespace tolvan

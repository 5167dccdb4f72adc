// The confirmation dialog driven by clicks: its texts and answers for every offer, closing it
// without OK, the site button, and its look at start.
#include "tolvan/cfm_dsp.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvan {
namespace {

template <typename T>
T* Child(QObject& dialog, const char* name) {
  T* child = dialog.findChild<T*>(QLatin1String(name));
  if (child == nullptr) throw std::runtime_error(std::string("no control ") + name);
  return child;
}

std::string Text(const QString& text) { return text.toStdString(); }

// The label's text is drawn whole inside its fixed box, not cut off.
void ExpectFits(const QLabel* label) {
  EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()),
            label->contentsRect().width());
}

// The next control that Tab moves to from `widget`.
QWidget* NextTabStop(QWidget* widget) {
  for (QWidget* next = widget->nextInFocusChain(); next != widget;
       next = next->nextInFocusChain()) {
    if ((next->focusPolicy() & Qt::TabFocus) && next->isVisible()) return next;
  }
  return nullptr;
}

// Shows `dialog` for the offer, lets `act` work on it while it is open, and returns the answer.
// A dialog that `act` leaves open is rejected after a while so that the test fails, not hangs.
int32_t Ask(TfrmCfmDsp& dialog, int32_t p, int32_t m, const std::function<void()>& act) {
  bool acted = false;
  QTimer::singleShot(0, &dialog, [&] {
    acted = true;
    act();
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, &dialog, [&] {
    ADD_FAILURE() << "the dialog stayed open";
    dialog.reject();
  });
  watchdog.start(5000);
  // The answers as the numbers the caller has always received.
  const int32_t answer = static_cast<int32_t>(dialog.DspSet(p, m));
  EXPECT_TRUE(acted);
  return answer;
}

struct Situation {
  const char* name;
  int32_t p, m;
  const char *label1, *label2, *radio1, *radio2;
  int32_t first, second;  // answers for OK with the first / the second choice
};

const Situation kSituations[] = {
    {"both offered", 1, 1, "プログラム更新とマスター更新のお知らせです",
     "プログラム更新とマスター更新のどちらかを選択できます",
     "プログラム更新とマスター更新を実施する", "マスター更新のみ実施する", 1, 2},
    {"program only", 1, 0, "プログラム更新のお知らせです", "今回はプログラム更新のみです",
     "プログラム更新を実施する", "プログラム更新を実施しない", 1, 0},
    {"master only", 0, 1, "マスター更新のお知らせです", "今回はマスター更新のみです",
     "マスター更新を実施する", "", 1, 2},
    {"neither: design texts", 0, 0, "プログラム更新とマスター更新のお知らせです",
     "今回はプログラム更新とマスター更新があり、選択できます。",
     "バージョンアップを実施する（マスター更新含む）", "マスター更新のみ実施する", 1, 2},
    // Only the value 1 counts as an offer.
    {"program value 2 is no offer", 2, 1, "マスター更新のお知らせです",
     "今回はマスター更新のみです", "マスター更新を実施する", "", 1, 2},
    {"master value -1 is no offer", 1, -1, "プログラム更新のお知らせです",
     "今回はプログラム更新のみです", "プログラム更新を実施する", "プログラム更新を実施しない",
     1, 0},
};

TEST(CfmDspTest, EachOfferShowsItsTextsAndAnswersByTheChoiceClicked) {
  for (const Situation& s : kSituations) {
    for (int choice = 1; choice <= 2; ++choice) {
      SCOPED_TRACE(std::string(s.name) + ", choice " + std::to_string(choice));
      TfrmCfmDsp dialog(nullptr, [](const std::string&) {});
      const int32_t answer = Ask(dialog, s.p, s.m, [&] {
        for (const char* name : {"Label1", "Label2", "Label5", "Label6"}) {
          SCOPED_TRACE(name);
          ExpectFits(Child<QLabel>(dialog, name));
        }
        EXPECT_EQ(Text(Child<QLabel>(dialog, "Label1")->text()), s.label1);
        EXPECT_EQ(Text(Child<QLabel>(dialog, "Label2")->text()), s.label2);
        auto* radio1 = Child<QRadioButton>(dialog, "RadioButton1");
        auto* radio2 = Child<QRadioButton>(dialog, "RadioButton2");
        EXPECT_EQ(Text(radio1->text()), s.radio1);
        EXPECT_EQ(Text(radio2->text()), s.radio2);
        EXPECT_TRUE(radio1->isChecked());
        // Both choices stay visible and clickable, also a second choice without text.
        EXPECT_TRUE(radio2->isVisible());
        EXPECT_TRUE(radio2->isEnabled());
        if (choice == 2) {
          QTest::mouseClick(radio2, Qt::LeftButton);
          EXPECT_TRUE(radio2->isChecked());
          EXPECT_FALSE(radio1->isChecked());
        }
        QTest::mouseClick(Child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
      });
      EXPECT_EQ(answer, choice == 1 ? s.first : s.second);
      EXPECT_FALSE(dialog.isVisible());
    }
  }
}

TEST(CfmDspTest, ClosingWithoutOkAnswersZero) {
  const struct {
    const char* name;
    std::function<void(TfrmCfmDsp&)> close;
  } ways[] = {
      {"Esc", [](TfrmCfmDsp& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
      {"window manager", [](TfrmCfmDsp& d) { d.close(); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    TfrmCfmDsp dialog(nullptr, [](const std::string&) {});
    // Even with the choice that would answer 2.
    const int32_t answer = Ask(dialog, 1, 1, [&] {
      QTest::mouseClick(Child<QRadioButton>(dialog, "RadioButton2"), Qt::LeftButton);
      way.close(dialog);
    });
    EXPECT_EQ(answer, 0);
  }
}

TEST(CfmDspTest, SiteButtonOpensTheSiteAndLeavesTheDialogOpenWithItsChoice) {
  std::vector<std::string> opened;
  TfrmCfmDsp dialog(nullptr, [&](const std::string& address) { opened.push_back(address); });
  const int32_t answer = Ask(dialog, 1, 1, [&] {
    auto* radio2 = Child<QRadioButton>(dialog, "RadioButton2");
    QTest::mouseClick(radio2, Qt::LeftButton);
    auto* site = Child<QPushButton>(dialog, "Button2");
    EXPECT_EQ(Text(site->text()), "ベルタンQXサイトへ");
    QTest::mouseClick(site, Qt::LeftButton);
    QTest::mouseClick(site, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(radio2->isChecked());
    QTest::mouseClick(Child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
  });
  EXPECT_EQ(answer, 2);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], "https://www.norvik-qx.example/");
  EXPECT_EQ(opened[1], opened[0]);
}

TEST(CfmDspTest, SiteThatCannotBeOpenedIsSwallowed) {
  TfrmCfmDsp dialog(nullptr, [](const std::string&) { throw std::runtime_error("no browser"); });
  const int32_t answer = Ask(dialog, 1, 0, [&] {
    QTest::mouseClick(Child<QPushButton>(dialog, "Button2"), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(Child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
  });
  EXPECT_EQ(answer, 1);
}

TEST(CfmDspTest, LooksAsDesigned) {
  TfrmCfmDsp dialog(nullptr, [](const std::string&) {});
  const int32_t answer = Ask(dialog, 1, 1, [&] {
    EXPECT_EQ(Text(dialog.windowTitle()), "マスター更新の確認");
    EXPECT_EQ(dialog.size(), QSize(438, 290));
    // A resizable frame without any title-bar button.
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags & Qt::MSWindowsFixedSizeDialogHint);
    EXPECT_NE(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.font().pixelSize(), 11);

    const struct {
      const char* name;
      QRect geometry;
      int font_pixels;  // 0: the dialog's font
    } controls[] = {
        {"Label1", {72, 24, 293, 19}, 16},   {"Label2", {25, 75, 380, 18}, 15},
        {"GroupBox1", {92, 99, 261, 56}, 0}, {"RadioButton1", {20, 5, 237, 17}, 0},
        {"RadioButton2", {20, 29, 238, 17}, 0}, {"Label5", {25, 183, 173, 18}, 15},
        {"Label6", {204, 183, 33, 18}, 15},  {"Button2", {241, 181, 164, 25}, 0},
        {"Button1", {186, 242, 75, 33}, 0},
    };
    for (const auto& c : controls) {
      SCOPED_TRACE(c.name);
      auto* widget = Child<QWidget>(dialog, c.name);
      EXPECT_EQ(widget->geometry(), c.geometry);
      EXPECT_EQ(widget->font().pixelSize(), c.font_pixels == 0 ? 11 : c.font_pixels);
    }
    EXPECT_EQ(Child<QWidget>(dialog, "RadioButton1")->parentWidget(),
              Child<QWidget>(dialog, "GroupBox1"));
    EXPECT_TRUE(Child<QGroupBox>(dialog, "GroupBox1")->title().isEmpty());
    EXPECT_TRUE(Child<QLabel>(dialog, "Label1")->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(Child<QLabel>(dialog, "Label2")->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(Text(Child<QLabel>(dialog, "Label5")->text()), "詳しくはこちらをご参照ください");
    EXPECT_EQ(Text(Child<QLabel>(dialog, "Label6")->text()), "==>");

    // Tab order: OK first (it has the focus), then the site button, then the choices.
    auto* ok = Child<QPushButton>(dialog, "Button1");
    EXPECT_EQ(Text(ok->text()), "OK");
    EXPECT_EQ(NextTabStop(ok), Child<QWidget>(dialog, "Button2"));
    EXPECT_EQ(NextTabStop(Child<QWidget>(dialog, "Button2")),
              Child<QWidget>(dialog, "RadioButton1"));
    EXPECT_EQ(dialog.focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Space);
  });
  EXPECT_EQ(answer, 1);
}

}  // namespace
}  // namespace tolvan

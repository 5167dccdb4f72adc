// TfrmCfmDsp, the update confirmation dialog: asks, before anything is downloaded, whether to
// apply the program update (with the master-database update) or the master-database update
// alone, or, when only a program update is offered, whether to apply it at all. It also opens
// the product's web site.
//
// Use: create it, call DspSet once, use the answer; a new question needs a new dialog (which
// starts again with the first choice checked). GUI thread only.
#ifndef TOLVAN_CFM_DSP_H_
#define TOLVAN_CFM_DSP_H_

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

#include "tolvan/update_ui.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace tolvan {

class TfrmCfmDsp final : public QDialog {
  Q_OBJECT

 public:
  // Opens an address in the user's browser; its failures are the opener's to swallow.
  using UrlOpener = std::function<void(const std::string& address)>;

  // `open_url` replaces the desktop shell (common::ShellOpen) for opening the product site;
  // tests pass a recorder.
  explicit TfrmCfmDsp(QWidget* parent = nullptr, UrlOpener open_url = {});
  ~TfrmCfmDsp() override;

  // Shows the dialog modally for the offer (1: offered; any other value: not offered) and
  // returns once it has closed: kFirstChoice for OK with the first choice; kSecondChoice for OK
  // with the second choice, except in the program-only situation, where that is kNothing;
  // kNothing when it was closed without OK (Esc, the window manager, or reject()).
  CfmAnswer DspSet(int32_t pinPKbn, int32_t pinMKbn);

  // Sets Label1, Label2 and the two choices' texts for the stored offer; with neither update
  // offered the design texts stay. Run by the show event.
  void IniSet();

  // Closing in any other way than OK (Esc, the window manager) is QDialog's reject(), which
  // leaves the answer at kNothing.

  // OK: records the answer from the checked choice and the offer, and closes the dialog.
  void Button1Click();
  // Opens the product's web site; the dialog stays open with its choice.
  void Button2Click();
  // Asks the shell to open DocName. Never fails: errors are swallowed without a message.
  void GoToURL(const std::string& DocName);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  UrlOpener open_url_;        // opens the product site
  QLabel* Label1_;            // the offer's title
  QLabel* Label2_;            // the offer's explanation
  QLabel* Label5_;            // "詳しくはこちらをご参照ください"
  QLabel* Label6_;            // "==>"
  QPushButton* Button1_;      // OK
  QPushButton* Button2_;      // the product site
  QGroupBox* GroupBox1_;      // frame of the two choices
  QRadioButton* RadioButton1_;
  QRadioButton* RadioButton2_;
  int32_t minPKbn_ = 0;       // 1 when a program update is offered
  int32_t minMKbn_ = 0;       // 1 when a master-database update is offered
  CfmAnswer minResult_ = CfmAnswer::kNothing;  // the answer
  bool centred_ = false;      // placed on the screen at its first show
};

}  // namespace tolvan

#endif  // TOLVAN_CFM_DSP_H_

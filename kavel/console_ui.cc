#include "kavel/console_ui.h"

#include "kavel/texts.h"

namespace kavel {

ConsoleUi::ConsoleUi(std::ostream& err) : err_(err) {}

void ConsoleUi::ShowError(const std::string& caption, const std::string& text) {
  // The box's text runs over several lines; each gets the prefix so that a log reader sees
  // where it came from.
  err_ << kStderrPrefix << caption << ": ";
  for (char c : text) {
    err_ << c;
    if (c == '\n') err_ << kStderrPrefix << "  ";
  }
  err_ << '\n' << std::flush;
}

void ConsoleUi::Preview(re::Report&) { err_ << kStderrPrefix << kNoDisplayForPreview << '\n'; }

void ConsoleUi::ShowFatal(const std::string& text) {
  err_ << kStderrPrefix << text << '\n' << std::flush;
}

}  // namespace kavel

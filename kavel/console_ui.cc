#include "kavel/console_ui.h"

#include <string_view>

#include "common/text_format.h"
#include "kavel/texts.h"

namespace kavel {

ConsoleUi::ConsoleUi(std::ostream& err) : err_(err) {}

void ConsoleUi::ShowError(const std::string& caption, const std::string& text) {
  // The box's text runs over several lines; each gets the program's name so that a log reader
  // sees where it came from.
  std::string_view rest = text;
  size_t end = rest.find('\n');
  err_ << common::FillIn(kConsoleErrorBox, {caption, rest.substr(0, end)});
  while (end != std::string_view::npos) {
    rest.remove_prefix(end + 1);
    end = rest.find('\n');
    err_ << '\n' << common::FillIn(kConsoleContinuedLine, {rest.substr(0, end)});
  }
  err_ << '\n' << std::flush;
}

void ConsoleUi::Preview(re::Report&) { ShowNote(kNoDisplayForPreview); }

void ConsoleUi::ShowNote(const std::string& text) {
  err_ << common::FillIn(kConsoleLine, {text}) << '\n' << std::flush;
}

void ConsoleUi::ShowFatal(const std::string& text) { ShowNote(text); }

}  // namespace kavel

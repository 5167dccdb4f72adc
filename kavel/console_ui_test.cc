// What a run without a display prints: one "Kavel: " line per message, the engine's error box
// with every further line of its text marked as well.
#include "kavel/console_ui.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace kavel {
namespace {

TEST(ConsoleUi, EveryLineOnStandardErrorNamesTheProgram) {
  struct Case {
    const char* name;
    void (*show)(ConsoleUi&);
    const char* printed;
  } const cases[] = {
      {"error box, one line", [](ConsoleUi& ui) { ui.ShowError("Error", "x"); },
       "Kavel: Error: x\n"},
      {"error box, several lines",
       [](ConsoleUi& ui) {
         ui.ShowError("Error", "The following error(s) have occured:\nField not found: a\n");
       },
       "Kavel: Error: The following error(s) have occured:\nKavel:   Field not found: a\n"
       "Kavel:   \n"},
      {"error box, empty text", [](ConsoleUi& ui) { ui.ShowError("Error", ""); },
       "Kavel: Error: \n"},
      {"note", [](ConsoleUi& ui) { ui.ShowNote("PDFを作成できませんでした: x"); },
       "Kavel: PDFを作成できませんでした: x\n"},
      {"fatal", [](ConsoleUi& ui) { ui.ShowFatal("処理を中止しました: %s"); },
       "Kavel: 処理を中止しました: %s\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream err;
    ConsoleUi ui(err);
    c.show(ui);
    EXPECT_EQ(err.str(), c.printed) << c.name;
  }
}

}  // namespace
}  // namespace kavel

// One run of Kavel, without any window: the main window's creation stores the four arguments,
// its show event does the whole run (log, database, title, dispatch), and the button's click
// handler prepares the report of the requested kind and either exports it as a PDF file into
// the program folder and sets the kind's flag in user.ini, or shows the preview.
//
// The run talks to the user only through RunUi, and reaches the program folder, user.ini,
// Pdf.log and the clock only through the common::Env it is given, so the same flow serves the
// Qt window, a run without a display, and the tests (which hand in a common::TestEnv).
#ifndef KAVEL_RUN_FLOW_H_
#define KAVEL_RUN_FLOW_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/env.h"
#include "kavel/run_ui.h"

namespace re {
class Report;
}

namespace kavel {

// The four run parameters, as given (never trimmed here).
struct RunParameters {
  std::string gstNgt;    // 1: caption of the list, e.g. "平成２７年１０月社保"
  std::string gstFile;   // 2: database path; empty selects Data.Rpt in the program folder
  std::string gstKbn;    // 3: report kind "1".."10", compared trimmed
  std::string gstShort;  // 4: variant switch, "1" makes kind "5" print Report7
};

// What the dispatch does for one report kind.
struct KindAction {
  const char* kind;             // "1".."10"
  const char* report;           // template name
  const char* short_report;     // template when the variant switch is "1", or nullptr
  bool preview;                 // preview instead of export
  const char* file;             // output file name in the program folder (export only)
  const char* flag;             // [PARAM] key set to "1" after a written export
  bool log_pdf_name;            // writes the "pdf名:" line before the export
};

// The entry of the dispatch table for the trimmed kind `kind`, or nullptr.
const KindAction* FindKindAction(std::string_view kind);

class RunFlow {
 public:
  // `env` and `ui` must outlive the flow. The templates print the date and time of `env`.
  RunFlow(common::Env& env, RunUi& ui);
  ~RunFlow();
  RunFlow(const RunFlow&) = delete;
  RunFlow& operator=(const RunFlow&) = delete;

  // Stores the command-line arguments (without the program's own name): missing ones read as
  // empty text, arguments after the fourth are ignored. For a known kind, the report's faces
  // are looked up and the database reader started ahead of FormShow, which takes both over.
  void FormCreate(const std::vector<std::string>& arguments);

  // The whole run: "年月:" log line, OpenMDB, the caption into the chosen title object, then
  // Button1Click. When Pdf.log or user.ini cannot be written the run stops there and says why
  // through RunUi::ShowFatal. Never throws. The caller closes the window afterwards.
  void FormShow();

  // The dispatch by report kind. Export: "pdf名:" line for kinds 5, 7, 8, 9; prepare; when the
  // preparation reported no error, export to the program folder; when the file was written, set
  // the kind's flag. Preview: prepare and show. Unknown kinds do nothing.
  // Throws common::IoError / common::SettingsWriteError when Pdf.log / user.ini cannot be
  // written (FormShow catches them).
  void Button1Click();

  const RunParameters& parameters() const { return parameters_; }

  // The template of that name ("Report1"...), for tests; nullptr for an unknown name.
  re::Report* FindReport(const std::string& name);

 private:
  struct Components;

  // The template the dispatch prints for the stored parameters, or nullptr for an unknown kind.
  re::Report* DispatchedReport();
  void Export(re::Report& report, const KindAction& action);
  std::string LogPath() const;

  common::Env& env_;                        // program folder, user.ini, Pdf.log, clock
  RunUi& ui_;                               // windows, or their stand-ins
  RunParameters parameters_;                // set by FormCreate
  std::unique_ptr<Components> components_;  // database, row sources, templates, exporter
};

}  // namespace kavel

#endif  // KAVEL_RUN_FLOW_H_

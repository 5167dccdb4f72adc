#include "kavel/run_flow.h"

#include <array>
#include <exception>
#include <string_view>
#include <utility>

#include "common/text_encoding.h"
#include "common/text_format.h"
#include "common/trim.h"
#include "common/texts.h"
#include "kavel/mdb_connection.h"
#include "kavel/templates/templates.h"
#include "kavel/texts.h"
#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/layout/report.h"

namespace kavel {
namespace {

// Kind → template, action, output file, flag. At most one entry matches a kind.
constexpr KindAction kDispatch[] = {
    // kind  template     variant "1"  preview output file        flag       "pdf名:"
    {"1", kReport1, nullptr, false, kFileRepChk, kFlagPdf, false},
    {"2", kReport1, nullptr, true, nullptr, nullptr, false},
    {"3", kReport2, nullptr, false, kFileRepChk2, kFlagPdf2, false},
    {"4", kReport2, nullptr, true, nullptr, nullptr, false},
    {"5", kReport3, kReport7, false, kFileRep, kFlagPdf3, true},
    {"6", kReport3, nullptr, true, nullptr, nullptr, false},
    {"7", kReport4, nullptr, false, kFileRepChkList, kFlagPdf4, true},
    {"8", kReport4, nullptr, false, kFileRepChkList2, kFlagPdf4, true},
    {"9", kReport6, nullptr, false, kFileRepChkList3, kFlagPdf6, true},
    {"10", kReport8, nullptr, false, kFileRepJyoken, kFlagPdf8, false},
};

}  // namespace

const KindAction* FindKindAction(std::string_view kind) {
  for (const KindAction& action : kDispatch) {
    if (kind == action.kind) return &action;
  }
  return nullptr;
}

// The main window's non-visual components: the connection with its three row sources, the seven
// templates bound to them, and the PDF exporter. They live as long as the flow.
struct RunFlow::Components {
  explicit Components(common::Env& env)
      : database(env),
        Report1(templates::Report1()),
        Report2(templates::Report2()),
        Report3(templates::Report3()),
        Report4(templates::Report4()),
        Report6(templates::Report6()),
        Report7(templates::Report7()),
        Report8(templates::Report8()) {
    const auto& [DBDataset1, DBDataset3, DBDataset4] = datasets;
    Report1.AddDataset(DBDataset1);
    Report2.AddDataset(DBDataset1);
    Report8.AddDataset(DBDataset1);
    Report3.AddDataset(DBDataset3);
    Report7.AddDataset(DBDataset3);
    Report4.AddDataset(DBDataset4);
    Report6.AddDataset(DBDataset4);
    Report3.set_row_rule(templates::ChartNumberRule);
    Report7.set_row_rule(templates::ChartNumberRule);
    for (re::Report* report : All()) report->set_clock([&env] { return env.Now(); });
  }

  std::array<re::Report*, 7> All() {
    return {&Report1, &Report2, &Report3, &Report4,
            &Report6, &Report7, &Report8};
  }

  // The row source a template reads (the first dataset it lists), or null.
  MdbTableSource* SourceOf(const re::Report& report) {
    if (report.layout().datasets.empty()) return nullptr;
    for (const re::DatasetBinding& binding : datasets) {
      if (binding.user_name == report.layout().datasets.front()) return static_cast<MdbTableSource*>(binding.source);
    }
    return nullptr;
  }

  MdbConnection database;  // ADOConnection1 with ADOQuery1/3/4
  const std::array<re::DatasetBinding, 3> datasets{{{"DBDataset1", &database.ADOQuery1()},
                                                    {"DBDataset3", &database.ADOQuery3()},
                                                    {"DBDataset4", &database.ADOQuery4()}}};
  re::Report Report1, Report2, Report3, Report4, Report6, Report7, Report8;
  re::PdfExporter PDFExport1;
};

RunFlow::RunFlow(common::Env& env, RunUi& ui)
    : env_(env), ui_(ui), components_(std::make_unique<Components>(env)) {
  for (re::Report* report : components_->All()) report->set_error_reporter(&ui_);
}

RunFlow::~RunFlow() = default;

std::string RunFlow::LogPath() const { return env_.ProgramFolder() + kLogFileName; }

void RunFlow::FormCreate(const std::vector<std::string>& arguments) {
  std::array<std::string*, kArgumentCount> fields{&parameters_.gstNgt, &parameters_.gstFile,
                                                  &parameters_.gstKbn, &parameters_.gstShort};
  for (size_t i = 0; i < fields.size(); ++i) {
    *fields[i] = i < arguments.size() ? arguments[i] : std::string();
  }
  // The report the dispatch will print is known now: the database reader starts on its rows at
  // once and its faces are looked up, while the program finishes its own start. The look-up
  // loads the text libraries; the log and user.ini conversions are opened before it, so that the
  // log lines do not wait for that loading.
  if (re::Report* report = DispatchedReport()) {
    if (MdbTableSource* first = components_->SourceOf(*report)) {
      components_->database.StartReaderAhead(parameters_.gstFile, *first);
    }
    common::OpenCp932Conversions();
    report->LookUpFontsAhead();
  }
}

re::Report* RunFlow::FindReport(const std::string& name) {
  for (re::Report* report : components_->All()) {
    if (report->name() == name) return report;
  }
  return nullptr;
}

void RunFlow::FormShow() {
  try {
    // 1. The caption goes to the log first, whatever happens next.
    env_.WrtLog(LogPath(), common::FillIn(kLogCaption, {parameters_.gstNgt}));

    // 2. Without a database there is nothing to print. The reader that checks it goes on with
    //    the rows of the report the dispatch will print; FormCreate started it, and the look-up
    //    of that report's faces, ahead.
    MdbTableSource* first = nullptr;
    if (re::Report* report = DispatchedReport()) first = components_->SourceOf(*report);
    if (!components_->database.OpenMDB(parameters_.gstFile, first)) return;

    // 3. The title object: each true test replaces the earlier choice.
    const std::string kind(common::Trim(parameters_.gstKbn));
    const bool short_variant = common::Trim(parameters_.gstShort) == kShortVariant;
    re::Report* titled = nullptr;
    if (kind == "1" || kind == "2") titled = &components_->Report1;
    if (kind == "3" || kind == "4") titled = &components_->Report2;
    if (kind == "5" || kind == "6") titled = &components_->Report3;
    if (kind == "5" && short_variant) titled = &components_->Report7;

    // 4. The caption replaces the stored sample text before the template is prepared.
    if (titled != nullptr) {
      if (re::TextObject* title = titled->FindObject(kTitleObject)) {
        title->SetText(parameters_.gstNgt);
      }
    }

    // 5. The dispatch.
    Button1Click();
  } catch (const std::exception& e) {
    // Pdf.log or user.ini could not be written: the run cannot report its outcome, so it says
    // so and stops rather than leave the main application guessing.
    ui_.ShowFatal(common::FillIn(kRunStopped, {e.what()}));
  }
  // 6. The caller closes the window.
}

re::Report* RunFlow::DispatchedReport() {
  const KindAction* action = FindKindAction(common::Trim(parameters_.gstKbn));
  if (action == nullptr) return nullptr;
  const char* report_name = action->report;
  if (action->short_report != nullptr && common::Trim(parameters_.gstShort) == kShortVariant) {
    report_name = action->short_report;
  }
  return FindReport(report_name);
}

void RunFlow::Button1Click() {
  const KindAction* action = FindKindAction(common::Trim(parameters_.gstKbn));
  if (action == nullptr) return;
  re::Report* report = DispatchedReport();
  if (action->preview) {
    ui_.Preview(*report);
  } else {
    Export(*report, *action);
  }
}

void RunFlow::Export(re::Report& report, const KindAction& action) {
  // 1. The output path.
  const std::string path = env_.ProgramFolder() + action.file;
  // 2. The "pdf名:" line, before the export starts.
  if (action.log_pdf_name) env_.WrtLog(LogPath(), common::FillIn(kLogPdfName, {path}));
  // 3. Prepare and export. A preparation that reported errors would give a list with missing
  //    rows or empty cells, and a failed export leaves the old file: in both cases the flag must
  //    not tell the main application that a fresh list is there. Errors have been shown in the
  //    engine's error box by then.
  bool written = false;
  try {
    components_->PDFExport1.FileName = path;
    re::ExportProgress* progress = ui_.ExportProgress();
    if (progress == nullptr) {
      // Without a progress display each page goes to the file as soon as it is laid out.
      written = report.PrepareAndExport(components_->PDFExport1);
    } else {
      if (!report.PrepareReport(true)) return;
      written = report.Export(components_->PDFExport1, progress);
    }
  } catch (const std::exception& e) {
    // 4. Nothing escapes the engine for the errors it knows; anything else ends the dispatch.
    ui_.ShowNote(common::FillIn(kUnexpectedExportError, {e.what()}));
    return;
  }
  // 5. The flag, only for a file that was really written.
  if (written) env_.IFWriteIniStr(common::texts::kSectionParam, action.flag, kFlagValue);
}

}  // namespace kavel

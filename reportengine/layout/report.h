// A report: one template with its dataset bindings, the operations the application calls on it
// (find an object, set its text, prepare, export, show), and the pages of the last preparation.
//
// Errors found during an operation (a row source that cannot be opened, a missing field, an
// unknown expression, a font that cannot be found, an export that fails) are collected as a
// sorted list of distinct texts. When the operation ends with a non-empty list it is shown once
// through the ErrorReporter (caption "Error", text "The following error(s) have occured:", a line
// break and one line per error) and the operation returns false. Nothing here throws for them.
//
// Typical use:
//   re::Report report(templates::Report1());
//   report.AddDataset({"DBDataset1", &rows});
//   report.set_error_reporter(&error_box);
//   if (re::TextObject* title = report.FindObject("Memo1")) title->SetText(caption);
//   report.PrepareReport(true);
//   report.Export(pdf_writer, &progress);
#ifndef REPORTENGINE_LAYOUT_REPORT_H_
#define REPORTENGINE_LAYOUT_REPORT_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/regional_format.h"
#include "reportengine/layout/exporter.h"
#include "reportengine/layout/prepared_page.h"
#include "reportengine/layout/row_overrides.h"
#include "reportengine/model/row_source.h"
#include "reportengine/model/template.h"

namespace re {

class Report;

// Read access to the fields of the row about to be printed, for per-row rules.
class RowFields {
 public:
  RowFields(const RowSource* source, size_t row) : source_(source), row_(row) {}
  // The field's display text (NULLs already converted); "" when there is no such field.
  std::string_view Value(std::string_view field) const;
  bool HasField(std::string_view field) const;
  size_t row() const { return row_; }

 private:
  const RowSource* source_;  // the data band's row source
  size_t row_;               // 0-based row index
};

// Runs before each row's data band is filled and returns what changes on that band for that row
// only (e.g. a font size); the template stays as designed, and a row without overrides prints as
// designed.
using RowRule = std::function<RowOverrides(const RowFields& row)>;

// The preview window. Show opens it (modal) and returns when the user closes it; the window
// itself prepares the report on a thread of its own shortly after opening and shows each page
// as soon as it is final.
// Show returns false when that preparation failed (its error box has been shown), else true,
// also when the window closed before preparing or could not open.
class Previewer {
 public:
  virtual ~Previewer() = default;
  virtual bool Show(Report& report) = 0;
};

// The time [DATE] and [TIME] print, taken once at the start of every preparation.
using Clock = std::function<common::LocalDateTime()>;

class LayoutCache;
class FontLookUp;

class Report {
 public:
  explicit Report(Template layout);
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  const std::string& name() const { return template_.name; }
  const Template& layout() const { return template_; }
  Template& mutable_layout() { return template_; }

  // Offers a row source under its user name; replaces an earlier binding of the same name.
  // The source must outlive the report's preparations.
  void AddDataset(const DatasetBinding& binding);

  // The text object of that name anywhere in the template, or nullptr (also when the object of
  // that name is not a text object). The pointer stays valid while the template's bands and
  // objects are not added or removed.
  TextObject* FindObject(std::string_view name);

  void set_row_rule(RowRule rule) { row_rule_ = std::move(rule); }
  void set_error_reporter(ErrorReporter* reporter) { error_reporter_ = reporter; }
  ErrorReporter* error_reporter() const { return error_reporter_; }
  void set_previewer(Previewer* previewer) { previewer_ = previewer; }
  void set_clock(Clock clock) { clock_ = std::move(clock); }

  // Builds the pages in memory. `clear` discards earlier pages; otherwise the new pages are added
  // after them and numbered on from them. Opens the row sources of the dataset list on first use.
  // Returns true when the pages were built without error; on errors the pages are still built as
  // far as possible (an empty value for a missing field, no rows for a dataset that cannot be
  // opened), the error box is shown and false is returned.
  bool PrepareReport(bool clear = true);

  // Writes the prepared pages through `exporter` (preparing first when nothing is prepared).
  // Returns true when the exporter wrote its output completely; else false after the error box.
  bool Export(Exporter& exporter, ExportProgress* progress = nullptr);

  // Starts looking up the faces the template's text objects name (font configuration, face
  // files) on a thread of its own, so that time a caller spends waiting for something else (the
  // database reader) serves the next preparation, which takes the result over; a streamed
  // export then also begins (its writer loading the fonts) while the row sources open. Objects'
  // fonts changed after this call are looked up by that preparation as usual.
  void LookUpFontsAhead();

  // Prepares anew and hands every page to `exporter` as soon as it is final, keeping none: the
  // memory a list needs does not grow with its length. The output is what PrepareReport(true)
  // followed by Export would write. When the preparation collects errors the output is
  // abandoned (an earlier file stays as it was), the error box shows them and false is
  // returned, as when PrepareReport fails before an export; otherwise as Export. prepared()
  // holds no pages afterwards. A face first used by the row rule (not named by any text object)
  // cannot be streamed: its pages fail the export with the exporter's error.
  bool PrepareAndExport(PageStreamExporter& exporter);

  // Discards earlier pages when `clear`, then shows the preview window through the previewer,
  // which prepares the report itself (its preparation shows its own error box). Returns false
  // when no previewer is set (after the error box) or the preparation inside the window failed.
  bool ShowReport(bool clear = true);

  // The pages of the last preparation (or of a prepared report loaded for preview).
  const PreparedReport& prepared() const { return prepared_; }
  void SetPrepared(PreparedReport prepared) { prepared_ = std::move(prepared); }

  // The errors of the last operation, sorted and distinct; empty when it succeeded.
  const std::vector<std::string>& errors() const { return errors_; }

 private:
  // Ends an operation: stores the collected errors, shows the box when there are any.
  bool Finish(std::vector<std::string> collected);
  // One preparation: the pages go to prepared_, or to `stream` one by one when it is set (after
  // `started` saw the font table), and `placed` hears of the first page's items as they are
  // placed. Returns the errors collected, sorted and distinct.
  std::vector<std::string> Prepare(
      bool clear, const std::function<bool(const std::vector<FontFace>& fonts)>* started,
      const std::function<void(PreparedPage&& page)>* stream,
      const std::function<void(std::span<const PageItem> items)>* placed = nullptr);

  Template template_;                      // the design; objects may be changed by the caller
  std::vector<DatasetBinding> bindings_;   // row sources by user name
  RowRule row_rule_;                       // per-row rule, may be empty
  ErrorReporter* error_reporter_ = nullptr;
  Previewer* previewer_ = nullptr;
  Clock clock_;                            // empty: the system clock
  std::unique_ptr<LayoutCache> cache_;     // fonts and shaped texts, kept across preparations
  std::unique_ptr<FontLookUp> font_look_up_;  // faces being looked up, until a preparation
  PreparedReport prepared_;                // pages of the last preparation
  std::vector<std::string> errors_;        // errors of the last operation
};

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_REPORT_H_

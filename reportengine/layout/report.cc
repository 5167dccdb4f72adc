#include "reportengine/layout/report.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "reportengine/layout/band_layout.h"
#include "reportengine/model/error_list.h"
#include "reportengine/layout/layout_cache.h"
#include "reportengine/layout/paginator.h"
#include "reportengine/model/report_texts.h"
#include "reportengine/text/text_libraries.h"

namespace re {

std::string_view RowFields::Value(std::string_view field) const {
  if (source_ == nullptr) return {};
  const int index = source_->FieldIndex(field);
  if (index < 0) return {};
  return source_->Value(index);
}

bool RowFields::HasField(std::string_view field) const {
  return source_ != nullptr && source_->FieldIndex(field) >= 0;
}

Report::Report(Template layout) : template_(std::move(layout)) {}

Report::~Report() = default;

void Report::AddDataset(const DatasetBinding& binding) {
  for (DatasetBinding& existing : bindings_) {
    if (existing.user_name == binding.user_name) {
      existing = binding;
      return;
    }
  }
  bindings_.push_back(binding);
}

TextObject* Report::FindObject(std::string_view name) {
  ReportObject* object = FindTemplateObject(template_, name);
  return object ? std::get_if<TextObject>(object) : nullptr;
}

bool Report::Finish(std::vector<std::string> collected) {
  errors_ = std::move(collected);
  if (errors_.empty()) return true;
  if (error_reporter_) error_reporter_->ShowError(kErrorBoxCaption, ErrorBoxText(errors_));
  return false;
}

namespace {

// Collects the datasets the template lists, opening their row sources on first use.
DatasetTable BindDatasets(const std::vector<std::string>& listed,
                          const std::vector<DatasetBinding>& registered, ErrorList& errors) {
  DatasetTable table;
  for (const std::string& name : listed) {
    if (table.Find(name) >= 0) continue;
    BoundDataset dataset;
    dataset.name = name;
    for (const DatasetBinding& binding : registered) {
      if (binding.user_name == name) dataset.source = binding.source;
    }
    if (dataset.source == nullptr) {
      errors.Add(std::string(kDatasetNotFound) + name);
    } else {
      std::string error;
      dataset.open = dataset.source->IsOpen() || dataset.source->Open(&error);
      // On the first row from the start, for the page header; rows that cannot be read at all
      // count as a source that cannot be opened.
      if (dataset.open && dataset.source->First(&error)) dataset.current_row = 0;
      if (dataset.open && !error.empty()) dataset.open = false;
      if (!dataset.open) errors.Add(error.empty() ? std::string(kDatasetNotFound) + name : error);
    }
    table.Add(std::move(dataset));
  }
  return table;
}

// Hands the pages from the thread that prepares them to a thread that writes them, in order, so
// that preparing and writing share two processors. At most kPagesWaiting pages wait: memory stays
// that of a few pages. The writer sees only the pages and its own state (the exporter took a copy
// of the font table in Begin); the shaped lines the pages share with the layout cache are never
// changed once made.
class PageHandOver {
 public:
  static constexpr size_t kPagesWaiting = 4;

  explicit PageHandOver(PageStreamExporter& exporter)
      : exporter_(exporter), writer_([this] { WriteAll(); }) {}
  ~PageHandOver() { Close(); }
  PageHandOver(const PageHandOver&) = delete;
  PageHandOver& operator=(const PageHandOver&) = delete;

  void Push(PreparedPage&& page) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return waiting_.size() < kPagesWaiting; });
    waiting_.push_back(std::move(page));
    ready_.notify_one();
  }

  // Texts of the first page, for the exporter to get ready for while it waits for that page.
  void Foresee(std::span<const PageItem> items) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const PageItem& item : items) {
      if (const auto* text = std::get_if<TextItem>(&item); text && text->line) {
        foreseen_.push_back(text->line);
      }
    }
    if (!foreseen_.empty()) ready_.notify_one();
  }

  // Waits until every page handed over has been written (or dropped after a failed write; the
  // exporter's Finish says why).
  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    ready_.notify_one();
    if (writer_.joinable()) writer_.join();
  }

 private:
  void WriteAll() {
    exporter_.LoadFonts();
    bool all_written = true;
    for (;;) {
      PreparedPage page;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !waiting_.empty() || closed_ || !foreseen_.empty(); });
        if (waiting_.empty() && !closed_) {
          std::vector<std::shared_ptr<const ShapedLine>> lines;
          lines.swap(foreseen_);
          lock.unlock();
          for (const auto& line : lines) exporter_.Foresee(*line);
          continue;
        }
        foreseen_.clear();  // the page is here: what it shows is done with it
        if (waiting_.empty()) return;
        page = std::move(waiting_.front());
        waiting_.pop_front();
      }
      room_.notify_one();
      // After a failed write the remaining pages are dropped unwritten.
      if (all_written) all_written = exporter_.AddPage(page);
    }
  }

  PageStreamExporter& exporter_;
  std::mutex mutex_;
  std::condition_variable ready_;  // a page waits, or no more will come
  std::condition_variable room_;   // fewer than kPagesWaiting wait
  std::deque<PreparedPage> waiting_;
  std::vector<std::shared_ptr<const ShapedLine>> foreseen_;  // texts not yet foreseen
  bool closed_ = false;
  std::thread writer_;       // last: starts once everything above is there
};

}  // namespace

// The faces a template's visible text objects name, looked up on a thread of its own or on the
// calling one. The names are taken on the calling thread, so the template may change while the
// thread runs; only the look-up cache is shared, and nobody else uses it until Wait returns.
class FontLookUp {
 public:
  enum class On { kOwnThread, kCallingThread };

  FontLookUp(const Template& layout, LayoutCache& cache, On on) : cache_(cache) {
    for (const Band& band : layout.bands) {
      for (const ReportObject& object : band.objects) {
        if (const auto* text = std::get_if<TextObject>(&object); text && text->visible) {
          specs_.push_back(text->font);
          if (specs_.back().name.empty()) specs_.back().name = kDefaultFontFace;
        }
      }
    }
    if (on == On::kOwnThread) {
      thread_ = std::thread([this] { Run(); });
    } else {
      Run();
    }
  }
  ~FontLookUp() {
    if (thread_.joinable()) thread_.join();
  }
  FontLookUp(const FontLookUp&) = delete;
  FontLookUp& operator=(const FontLookUp&) = delete;

  // Waits for the look-up and returns the faces that could not be found, one text each; a
  // failure of the look-up itself is thrown here.
  std::vector<std::string> Wait() {
    if (thread_.joinable()) thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    return std::move(errors_);
  }

 private:
  void Run() {
    try {
      // HarfBuzz is loaded on first use; on a thread of its own its loading overlaps the
      // calling thread's work.
      PreloadTextLibraries();
      for (const FontSpec& spec : specs_) {
        std::string error;
        if (!cache_.shaper().Resolve(spec, &error)) errors_.push_back(std::move(error));
      }
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  LayoutCache& cache_;
  std::vector<FontSpec> specs_;
  std::vector<std::string> errors_;
  std::exception_ptr failure_;
  std::thread thread_;
};

void Report::LookUpFontsAhead() {
  if (font_look_up_) return;
  if (!cache_) cache_ = std::make_unique<LayoutCache>();
  font_look_up_ = std::make_unique<FontLookUp>(template_, *cache_, FontLookUp::On::kOwnThread);
}

std::vector<std::string> Report::Prepare(
    bool clear, const std::function<bool(const std::vector<FontFace>& fonts)>* started,
    const std::function<void(PreparedPage&& page)>* stream,
    const std::function<void(std::span<const PageItem> items)>* placed) {
  ErrorList errors;
  const common::LocalDateTime started_at = clock_ ? clock_() : common::Now();
  EvalContext context;
  context.date = common::FormatShortDate(started_at);
  context.time = common::FormatLongTime(started_at);

  if (clear) prepared_.pages.clear();
  context.page_number = static_cast<int>(prepared_.pages.size()) + 1;

  // Fonts first, so a face that is not installed is reported once, by name. They are looked
  // up on a thread of their own (unless LookUpFontsAhead started that already) while the row
  // sources open, which mostly waits for the database reader.
  const bool looked_up_ahead = font_look_up_ != nullptr;
  if (!looked_up_ahead) LookUpFontsAhead();
  std::unique_ptr<FontLookUp> fonts = std::move(font_look_up_);
  const auto take_fonts = [&] {
    for (std::string& error : fonts->Wait()) errors.Add(std::move(error));
    fonts.reset();
    // A font changed since the look-up ahead is looked up now (the others are found at once).
    if (looked_up_ahead) {
      for (std::string& error :
           FontLookUp(template_, *cache_, FontLookUp::On::kCallingThread).Wait()) {
        errors.Add(std::move(error));
      }
    }
  };
  // With the faces looked up ahead, an export begins (its writer loading the fonts) while the
  // row sources open.
  std::optional<bool> begun;
  if (looked_up_ahead && stream != nullptr) {
    take_fonts();
    begun = (*started)(cache_->shaper().fonts());
  }
  DatasetTable datasets;
  try {
    datasets = BindDatasets(template_.datasets, bindings_, errors);
  } catch (...) {
    if (fonts) fonts->Wait();
    throw;
  }
  if (fonts) take_fonts();
  cache_->ClearBlocks();
  Paginator paginator(template_, datasets, *cache_, errors);
  BeforeRowHook before_row;
  if (row_rule_) {
    before_row = [this](const RowSource& source, size_t row) {
      return row_rule_(RowFields(&source, row));
    };
  }
  if (stream == nullptr) {
    paginator.Run(context, before_row, prepared_.pages);
  } else {
    if (!begun) begun = (*started)(cache_->shaper().fonts());
    if (*begun) paginator.Run(context, before_row, *stream, placed);
  }
  prepared_.fonts = cache_->shaper().fonts();
  return errors.Sorted();
}

bool Report::PrepareReport(bool clear) {
  return Finish(Prepare(clear, nullptr, nullptr));
}

bool Report::PrepareAndExport(PageStreamExporter& exporter) {
  std::vector<std::string> export_errors;
  std::unique_ptr<PageHandOver> writer;
  const std::function<bool(const std::vector<FontFace>&)> started =
      [&](const std::vector<FontFace>& fonts) {
        if (!exporter.Begin(fonts, &export_errors)) return false;
        writer = std::make_unique<PageHandOver>(exporter);
        return true;
      };
  const std::function<void(PreparedPage&&)> stream = [&](PreparedPage&& page) {
    writer->Push(std::move(page));
  };
  const ItemsPlaced placed = [&](std::span<const PageItem> items) { writer->Foresee(items); };
  std::vector<std::string> prepare_errors = Prepare(true, &started, &stream, &placed);
  const bool begun = writer != nullptr;
  if (begun) writer->Close();
  writer.reset();
  if (!prepare_errors.empty()) {
    if (begun) exporter.Abandon();
    Finish(std::move(prepare_errors));
    return false;
  }
  // A failed write is the exporter's to report in Finish.
  const bool written = begun && exporter.Finish(&export_errors);
  ErrorList errors;
  for (std::string& e : export_errors) errors.Add(std::move(e));
  if (!written && errors.empty()) errors.Add(kExportFailed);
  return Finish(errors.Sorted());
}

bool Report::Export(Exporter& exporter, ExportProgress* progress) {
  // Nothing prepared yet: prepare first. Its errors have their own box; what could be built is
  // exported all the same.
  if (prepared_.pages.empty()) PrepareReport(true);
  std::vector<std::string> export_errors;
  const bool written = exporter.Export(prepared_, progress, &export_errors);
  ErrorList errors;
  for (std::string& e : export_errors) errors.Add(std::move(e));
  if (!written && errors.empty()) errors.Add(kExportFailed);
  return Finish(errors.Sorted());
}

bool Report::ShowReport(bool clear) {
  if (clear) prepared_.pages.clear();
  if (previewer_ == nullptr) {
    ErrorList errors;
    errors.Add(kNoPreviewWindow);
    return Finish(errors.Sorted());
  }
  return previewer_->Show(*this);
}

}  // namespace re

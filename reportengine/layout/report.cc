#include "reportengine/layout/report.h"

#include "reportengine/layout/band_layout.h"
#include "reportengine/model/error_list.h"
#include "reportengine/layout/layout_cache.h"
#include "reportengine/layout/paginator.h"
#include "reportengine/model/report_texts.h"

namespace re {

std::string_view RowFields::Value(std::string_view field) const {
  if (source_ == nullptr) return {};
  const int index = source_->FieldIndex(field);
  if (index < 0) return {};
  return source_->Value(row_, index);
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
      if (!dataset.open) errors.Add(error.empty() ? std::string(kDatasetNotFound) + name : error);
      if (dataset.open && dataset.source->RowCount() > 0) dataset.current_row = 0;
    }
    table.Add(std::move(dataset));
  }
  return table;
}

}  // namespace

std::vector<std::string> Report::Prepare(
    bool clear, const std::function<bool(const std::vector<FontFace>& fonts)>* started,
    const std::function<void(PreparedPage&& page)>* stream) {
  ErrorList errors;
  const common::LocalDateTime started_at = clock_ ? clock_() : common::Now();
  EvalContext context;
  context.date = common::FormatShortDate(started_at);
  context.time = common::FormatLongTime(started_at);

  if (clear) prepared_.pages.clear();
  context.page_number = static_cast<int>(prepared_.pages.size()) + 1;
  if (!cache_) cache_ = std::make_unique<LayoutCache>();
  cache_->ClearBlocks();

  // Fonts first, so a face that is not installed is reported once, by name.
  for (const Band& band : template_.bands) {
    for (const ReportObject& object : band.objects) {
      if (const auto* text = std::get_if<TextObject>(&object); text && text->visible) {
        FontSpec spec = text->font;
        if (spec.name.empty()) spec.name = kDefaultFontFace;
        std::string error;
        if (!cache_->shaper().Resolve(spec, &error)) errors.Add(error);
      }
    }
  }

  DatasetTable datasets = BindDatasets(template_.datasets, bindings_, errors);
  Paginator paginator(template_, datasets, *cache_, errors);
  BeforeRowHook before_row;
  if (row_rule_) {
    before_row = [this](const RowSource& source, size_t row) {
      row_rule_(RowFields(&source, row), *this);
    };
  }
  if (stream == nullptr) {
    paginator.Run(context, before_row, prepared_.pages);
  } else if ((*started)(cache_->shaper().fonts())) {
    paginator.Run(context, before_row, *stream);
  }
  prepared_.fonts = cache_->shaper().fonts();
  return errors.Sorted();
}

bool Report::PrepareReport(bool clear) {
  last_prepare_ok_ = Finish(Prepare(clear, nullptr, nullptr));
  return last_prepare_ok_;
}

bool Report::PrepareAndExport(PageStreamExporter& exporter) {
  std::vector<std::string> export_errors;
  bool begun = false;
  bool writing = true;
  const std::function<bool(const std::vector<FontFace>&)> started =
      [&](const std::vector<FontFace>& fonts) {
        begun = exporter.Begin(fonts, &export_errors);
        return begun;
      };
  // After a failed write the remaining pages are still prepared (their errors count) but
  // no longer converted.
  const std::function<void(PreparedPage&&)> stream = [&](PreparedPage&& page) {
    if (writing) writing = exporter.AddPage(page);
  };
  std::vector<std::string> prepare_errors = Prepare(true, &started, &stream);
  if (!prepare_errors.empty()) {
    if (begun) exporter.Abandon();
    last_prepare_ok_ = Finish(std::move(prepare_errors));
    return false;
  }
  last_prepare_ok_ = true;
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
  last_prepare_ok_ = true;
  previewer_->Show(*this);
  return last_prepare_ok_;
}

}  // namespace re

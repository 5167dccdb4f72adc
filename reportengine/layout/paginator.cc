#include "reportengine/layout/paginator.h"

#include <optional>
#include <string>

#include "reportengine/model/report_texts.h"

namespace re {

struct Paginator::DataChain {
  std::unique_ptr<CompiledBand> data_header;
  struct Group {
    std::unique_ptr<CompiledBand> header;
    ResolvedField key;
    std::string last_key;  // the key of the group now printing
  };
  std::vector<Group> groups;  // outermost first
  std::unique_ptr<CompiledBand> data;
  int dataset = -1;  // -1: the band's dataset is unknown or could not be opened: no rows
};

Paginator::Paginator(const Template& layout, DatasetTable& datasets, LayoutCache& cache,
                     ErrorList& errors)
    : layout_(layout), datasets_(datasets), cache_(cache), errors_(errors) {
  DataChain pending;
  for (const Band& band : layout.bands) {
    switch (band.kind) {
      case BandKind::kPageHeader:
        page_header_ = std::make_unique<CompiledBand>(band, datasets, errors);
        break;
      case BandKind::kPageFooter:
        page_footer_ = std::make_unique<CompiledBand>(band, datasets, errors);
        break;
      case BandKind::kDataHeader:
        pending.data_header = std::make_unique<CompiledBand>(band, datasets, errors);
        break;
      case BandKind::kGroupHeader: {
        DataChain::Group group;
        group.header = std::make_unique<CompiledBand>(band, datasets, errors);
        if (std::optional<FieldRef> ref = ParseFieldRef(band.condition)) {
          group.key = ResolveField(*ref, band.name, datasets, errors);
        } else {
          errors.Add(std::string(kUnknownExpression) + band.name + ": " + band.condition);
        }
        pending.groups.push_back(std::move(group));
        break;
      }
      case BandKind::kMasterData: {
        pending.data = std::make_unique<CompiledBand>(band, datasets, errors);
        const int index = datasets.Find(band.dataset);
        if (index < 0) {
          errors.Add(std::string(kDatasetNotFound) + band.name + ": " + band.dataset);
        } else if (datasets.at(index).source != nullptr && datasets.at(index).open) {
          pending.dataset = index;
        }
        chains_.push_back(std::move(pending));
        pending = DataChain{};
        break;
      }
    }
  }
}

Paginator::~Paginator() = default;

void Paginator::StartPage() {
  const PageSettings& page = layout_.page;
  PreparedPage prepared;
  prepared.width = page.PageWidth();
  prepared.height = page.PageHeight();
  // Pages of a list are alike: room for as many items as the last page had.
  prepared.items.reserve(last_page_items_);
  // Between pages no text of the layout cache is in use: it is trimmed here when it grew large.
  cache_.TrimBetweenPages();
  pages_->push_back(std::move(prepared));
  if (pages_in_run_++ > 0) ++context_.page_number;
  y_ = page.margins.top;
  footer_top_ = page.margins.top + page.PrintableHeight() -
                (page_footer_ ? page_footer_->band().height : 0.0f);
  if (page_header_) {
    y_ += page_header_->LayOut(page.margins.left, y_, datasets_, context_, cache_,
                               pages_->back().items);
  }
  content_top_ = y_;
}

void Paginator::EndPage() {
  if (page_footer_) {
    page_footer_->LayOut(layout_.page.margins.left, footer_top_, datasets_, context_, cache_,
                         pages_->back().items);
  }
  last_page_items_ = pages_->back().items.size();
  if (done_ != nullptr) {
    (*done_)(std::move(pages_->back()));
    pages_->pop_back();
  }
}

void Paginator::PrintBand(CompiledBand& band, const RowOverrides& overrides) {
  std::vector<PageItem>* items = &pages_->back().items;
  const size_t mark = items->size();
  const float left = layout_.page.margins.left;
  float height = band.LayOut(left, y_, datasets_, context_, cache_, *items, overrides);
  if (y_ + height > footer_top_ + kPositionToleranceMm && y_ > content_top_) {
    items->resize(mark);
    EndPage();
    StartPage();
    items = &pages_->back().items;
    height = band.LayOut(left, y_, datasets_, context_, cache_, *items, overrides);
  }
  y_ += height;
  if (placed_ != nullptr && pages_in_run_ == 1) {
    (*placed_)(std::span<const PageItem>(*items).subspan(items_told_));
    items_told_ = items->size();
  }
}

void Paginator::Run(const EvalContext& context, const BeforeRowHook& before_row,
                    std::vector<PreparedPage>& pages) {
  context_ = context;
  pages_ = &pages;
  pages_in_run_ = 0;
  last_page_items_ = pages.empty() ? 0 : pages.back().items.size();
  StartPage();

  for (DataChain& chain : chains_) {
    if (chain.dataset < 0) continue;
    BoundDataset& dataset = datasets_.at(chain.dataset);
    // The source stands on its first row when bound; a data band after another one on the same
    // dataset reads the rows again from the first.
    if (dataset.current_row != 0 && dataset.current_row != kNoRow) {
      std::string error;
      dataset.current_row = dataset.source->First(&error) ? 0 : kNoRow;
      if (!error.empty()) errors_.Add(std::move(error));
    }
    for (size_t row = 0; dataset.current_row == row; ++row) {
      if (row == 0 && chain.data_header) PrintBand(*chain.data_header);
      // The outermost group whose key changed (all of them on the first row); it and every
      // group inside it start anew.
      size_t changed = row == 0 ? 0 : chain.groups.size();
      for (size_t g = 0; g < changed; ++g) {
        if (FieldValue(chain.groups[g].key, datasets_) != chain.groups[g].last_key) changed = g;
      }
      for (size_t g = changed; g < chain.groups.size(); ++g) {
        chain.groups[g].last_key.assign(FieldValue(chain.groups[g].key, datasets_));
      }
      for (size_t g = changed; g < chain.groups.size(); ++g) PrintBand(*chain.groups[g].header);
      if (before_row) {
        PrintBand(*chain.data, before_row(*dataset.source, row));
      } else {
        PrintBand(*chain.data);
      }
      // At the end the last row stays current, for the page footer. A source that breaks off
      // has no row any more; its message makes the preparation fail.
      std::string error;
      if (dataset.source->Next(&error)) {
        dataset.current_row = row + 1;
      } else if (!error.empty()) {
        dataset.current_row = kNoRow;
        errors_.Add(std::move(error));
      }
    }
  }
  EndPage();
  pages_ = nullptr;
}

void Paginator::Run(const EvalContext& context, const BeforeRowHook& before_row,
                    const PageDone& done, const ItemsPlaced* placed) {
  std::vector<PreparedPage> current;  // the one page being laid out
  done_ = &done;
  placed_ = placed;
  items_told_ = 0;
  Run(context, before_row, current);
  done_ = nullptr;
  placed_ = nullptr;
}

}  // namespace re

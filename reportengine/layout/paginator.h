// Pagination: prints a template's bands onto pages.
//
// Every page starts with the page header at the top of the printable area and ends with the page
// footer at the bottom of it. For each data band, in the order listed: the data header listed
// before it once, just before its first row (first row's values); then for every row, the group
// headers from the outermost whose key differs from the previous row's (all of them for the first
// row) inwards, each with that row's values; then the data band itself. Keys are compared exactly,
// as the display texts the row source gives (NULLs already converted). A band that does not fit
// between the current position and the top of the page footer moves whole to a new page; group
// headers are not repeated there. A dataset without rows prints no data header, group header or
// data band, so an empty list is one page with the page header and footer only.
#ifndef REPORTENGINE_LAYOUT_PAGINATOR_H_
#define REPORTENGINE_LAYOUT_PAGINATOR_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "reportengine/layout/band_layout.h"
#include "reportengine/model/error_list.h"
#include "reportengine/layout/layout_cache.h"
#include "reportengine/layout/prepared_page.h"
#include "reportengine/model/template.h"

namespace re {

// Runs before a data band is laid out for a row (the row already current in its dataset) and
// returns what changes on that band for that row.
using BeforeRowHook = std::function<RowOverrides(const RowSource& source, size_t row)>;

// Takes each page as soon as it is final (its page footer drawn), in page order.
using PageDone = std::function<void(PreparedPage&& page)>;

// Told of the items each band added to the first page while that page is laid out (the page
// header's with the first band's), so that whoever writes the pages can get ready for them. The
// items may still move to the next page.
using ItemsPlaced = std::function<void(std::span<const PageItem> items)>;

class Paginator {
 public:
  // Compiles the template's bands against `datasets`; unknown references go to `errors`, and so
  // does the message of a row source whose rows break off during Run.
  // REQUIRES: the template, datasets and cache outlive the paginator; bands and objects are not
  // added or removed while it runs.
  Paginator(const Template& layout, DatasetTable& datasets, LayoutCache& cache,
            ErrorList& errors);
  ~Paginator();

  // Appends the pages to `pages`, numbering them from context.page_number.
  void Run(const EvalContext& context, const BeforeRowHook& before_row,
           std::vector<PreparedPage>& pages);
  // The same pages handed to `done` one by one as each is finished; none is kept, so a list of
  // any length needs the memory of one page (and of the layout cache, which is kept bounded).
  void Run(const EvalContext& context, const BeforeRowHook& before_row, const PageDone& done,
           const ItemsPlaced* placed = nullptr);

 private:
  struct DataChain;  // one data band with its data header and group headers

  void StartPage();
  void EndPage();
  void PrintBand(CompiledBand& band, const RowOverrides& overrides = {});

  const Template& layout_;
  DatasetTable& datasets_;
  LayoutCache& cache_;
  ErrorList& errors_;  // also a row source's message when its rows break off
  std::unique_ptr<CompiledBand> page_header_;
  std::unique_ptr<CompiledBand> page_footer_;
  std::vector<DataChain> chains_;

  // State of one run.
  EvalContext context_;
  std::vector<PreparedPage>* pages_ = nullptr;
  const PageDone* done_ = nullptr;  // streaming: finished pages leave pages_ at once
  const ItemsPlaced* placed_ = nullptr;
  size_t items_told_ = 0;           // items of the first page placed_ was told of
  size_t last_page_items_ = 0;      // items on the page finished last
  float y_ = 0;             // where the next band goes
  float content_top_ = 0;   // below the page header: a band here is never moved on
  float footer_top_ = 0;    // bands must end above this
  int pages_in_run_ = 0;    // pages started by this run
};

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_PAGINATOR_H_

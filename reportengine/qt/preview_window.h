// The preview window: shows a prepared report page by page and offers the standard set of
// preview functions — print, open and save of prepared reports, export to PDF, find, zoom,
// outline and thumbnails, page settings, page navigation and close.
//
// It opens at once; the preparation starts from a timer shortly after, so the window is already
// on screen while the pages are built. The pages lie one below the other and scroll as one
// (wheel, arrows, PgUp/PgDn by a screen); Ctrl+wheel zooms. Esc leaves the find bar or full
// screen first and closes the window only from its plain state; F11 toggles full screen.
// Printing sends the engine's own PDF of the chosen pages to the printer through CUPS, with a
// progress window that can cancel. Its own settings (zoom, side panel) are remembered per user
// under the place kIniFile names. All window work runs on the window's thread; only the sending
// to the printer and the preparation of the pages (see Prepare) run beside it.
#ifndef REPORTENGINE_QT_PREVIEW_WINDOW_H_
#define REPORTENGINE_QT_PREVIEW_WINDOW_H_

#include <QDialog>
#include <QList>
#include <QString>
#include <QTimer>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "reportengine/layout/prepared_page.h"
#include "reportengine/model/template.h"
#include "reportengine/qt/cups_printer.h"
#include "reportengine/qt/page_text_search.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPrinter;
class QScrollArea;
class QSplitter;
class QTabWidget;
class QTreeWidget;
class QWidget;

namespace re {

class PageRenderer;
class PageView;
class PreviewDialogs;
class PreviewSource;

// What a report asks of its preview.
struct PreviewOptions {
  // Zoom to open with (1.0 = 100 %); when unset, the zoom the user last had.
  std::optional<double> zoom = 1.0;
  uint32_t buttons = kStandardPreviewButtons;  // PreviewButton bits; the rest are left out
  Margins margins{};  // the report's own page margins, shown in the page settings
};

// How printing from the preview chooses its printer.
struct PrintOptions {
  static constexpr char kDefaultPrinter[] = "Default";
  std::string printer = kDefaultPrinter;  // a printer name, or "Default" for the system default
};

class PreviewWindow : public QDialog {
  Q_OBJECT

 public:
  enum class ZoomMode { kFactor, kPageWidth, kWholePage };

  // `source` and `dialogs` must outlive the window.
  PreviewWindow(PreviewSource& source, PreviewDialogs& dialogs, PreviewOptions preview,
                PrintOptions print, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  // Opens the window modal and maximised, prepares the report 50 ms later and returns when the
  // user closes the window.
  void Run();

  // State, for callers and tests.
  bool prepared() const { return prepared_; }
  // Pages are still being made on the preparing thread; those made so far are shown.
  bool preparing() const { return preparing_thread_.joinable(); }
  const PreparedReport& report() const { return report_; }
  // The pages as they are shown and printed: the report's own, or put on the paper chosen in
  // the page settings.
  const std::vector<PreparedPage>& shown_pages() const;
  int page_count() const { return static_cast<int>(report_.pages.size()); }
  int page_number() const { return page_ + 1; }  // the page in view, 1-based; 0 when none
  double zoom() const { return zoom_; }
  ZoomMode zoom_mode() const { return zoom_mode_; }
  bool side_panel_visible() const;
  bool find_bar_visible() const;
  // The current find hit as (page number, item index of its first line), or nothing.
  std::optional<std::pair<int, int>> current_hit() const;
  int hit_count() const { return static_cast<int>(hits_.size()); }
  // The marked boxes of the current hit on its page, in millimetres (only what is visible).
  QList<QRectF> current_hit_boxes() const;
  // The toolbar action with this object name ("print", "open", "save", "export", "find",
  // "zoomIn", "zoomOut", "zoom100", "pageWidth", "wholePage", "fullScreen", "sidePanel",
  // "pageSettings", "first", "prior", "next", "last", "close"), or nullptr.
  QAction* action(const QString& name) const;

  // Operations behind the buttons.
  // Builds the pages. A source that prepares in steps does so on a thread of its own: each page
  // is shown as it arrives (the page count and navigation grow with them) while the window
  // stays responsive; printing, saving, export, open, find and the page settings wait for the
  // last page. Closing the window waits for the preparation to end.
  void Prepare();
  void GoToPage(int page_number);  // clamped to the pages there are; scrolls its top into view
  void First();
  void Prior();
  void Next();
  void Last();
  void ScrollScreens(int screens);  // down (positive) or up by a screen, across pages
  void ZoomIn();
  void ZoomOut();
  void SetZoom(double zoom);
  void FitPageWidth();
  void FitWholePage();
  void ToggleFullScreen();
  void SetSidePanelVisible(bool visible);
  // Finds `text` in every text object (see PageTextSearch), starting on the page in view; moves
  // to the first hit. Returns the number of hits.
  int Find(const QString& text);
  void FindNext();
  void FindPrevious();
  // Prints pages `from` to `to` (1-based, clamped) of the shown pages to `job.printer`: the
  // engine writes them as a PDF file, which goes to the printer through CUPS. Shows the progress
  // window; failures are shown in the engine's error box.
  PrintResult PrintPages(const PrintJobSettings& job, int from, int to);
  // Return true on success; failures are shown in the engine's error box.
  bool SaveTo(const QString& path);
  bool OpenFrom(const QString& path);
  bool ExportTo(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class PageInbox;  // pages on their way from the preparing thread to the window's

  void TakeArrivedPages();
  void AppendPages(std::vector<PreparedPage> pages);
  void EndPreparing(std::vector<FontFace> fonts, std::exception_ptr failure);
  void BuildUi();
  void ApplyButtons();  // leaves out what the report's button set does not hold
  QAction* AddAction(const char* name, const char* text, const char* tip, QKeySequence key);
  void SetReport(PreparedReport report);
  void ShowPages();       // hands the shown pages to the view and the thumbnails
  void ScrollToPage(int index, int offset_px = 0);
  void OnScrolled();
  void SyncPageLists();   // outline and thumbnails mark the page in view
  void ApplyZoom(double zoom, ZoomMode mode);
  void UpdateControls();
  void ShowCurrentHit();
  void UpdateHighlights();
  void RenderThumbnailBatch();
  void LoadSettings();
  void SaveSettings() const;
  void OnEscape();
  void OnPrint();
  void OnOpen();
  void OnSave();
  void OnExport();
  void OnPageSettings();
  void OnPageFieldEntered();
  void OnFindEntered();
  void OnShowFind();
  QPrinter& Printer();    // made on first use, on the report's first page and margins

  PreviewSource& source_;
  PreviewDialogs& dialogs_;
  PreviewOptions preview_options_;
  PrintOptions print_options_;

  PreparedReport report_;                  // the pages as the report made them
  std::vector<PreparedPage> sheet_pages_;  // the pages on the chosen paper, when chosen
  bool sheet_chosen_ = false;              // the page settings changed the paper
  std::unique_ptr<PageRenderer> renderer_; // draws report_'s pages
  bool prepared_ = false;                  // the timer's preparation has run
  int page_ = -1;                          // index of the page in view, -1 when none
  bool scrolling_to_page_ = false;         // the page in view is set, not measured
  double zoom_ = 1.0;                      // current zoom factor
  ZoomMode zoom_mode_ = ZoomMode::kFactor; // fit modes follow the window's size
  PageTextSearch search_;                  // remembers folded characters between searches
  std::vector<TextMatch> hits_;            // find hits in page order
  int current_hit_ = -1;                   // index into hits_
  QString find_text_;                      // text of the last search
  std::unique_ptr<QPrinter> printer_;      // made on first print or page settings
  bool printing_ = false;                  // a print is under way
  int next_thumbnail_ = 0;                 // thumbnails rendered so far
  Qt::WindowStates before_full_screen_;    // the state full screen returns to

  QTimer prepare_timer_;                   // starts the preparation once the window is open
  QTimer thumbnail_timer_;                 // renders thumbnails a few at a time
  bool started_ = false;                   // the first show has happened
  std::shared_ptr<PageInbox> inbox_;       // set while a preparation in steps runs
  std::thread preparing_thread_;           // runs source_.PrepareInSteps

  QSplitter* splitter_ = nullptr;
  QTabWidget* side_panel_ = nullptr;
  QTreeWidget* outline_ = nullptr;
  QListWidget* thumbnails_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  PageView* view_ = nullptr;
  QLineEdit* page_field_ = nullptr;
  QLabel* page_count_label_ = nullptr;
  QLabel* zoom_label_ = nullptr;
  QAction* zoom_label_action_ = nullptr;   // the toolbar places of the widgets above
  QAction* page_field_action_ = nullptr;
  QAction* page_count_action_ = nullptr;
  QWidget* find_bar_ = nullptr;
  QLineEdit* find_field_ = nullptr;
  QLabel* find_status_ = nullptr;
};

}  // namespace re

#endif  // REPORTENGINE_QT_PREVIEW_WINDOW_H_

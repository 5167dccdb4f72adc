#include "reportengine/qt/preview_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "reportengine/qt/export_progress_dialog.h"
#include "reportengine/qt/page_on_sheet.h"
#include "reportengine/qt/page_renderer.h"
#include "reportengine/qt/page_view.h"
#include "reportengine/qt/preview_dialogs.h"
#include "reportengine/qt/preview_source.h"
#include "reportengine/qt/preview_texts.h"
#include "reportengine/model/report_texts.h"

using namespace re::preview;  // NOLINT: the window's own texts and numbers

namespace re {
namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

std::string FilePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The settings live at the registry-style place kIniFile names ("\Software\<vendor>\<program>"):
// its first part after "Software" names the settings folder, the rest the file.
QSettings UserSettings() {
  QStringList parts = Text(kIniFile).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  if (!parts.isEmpty() && parts.front().compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0) {
    parts.pop_front();
  }
  const QString organisation = parts.isEmpty() ? Text(kSettingsApplication) : parts.takeFirst();
  const QString application = parts.isEmpty() ? Text(kSettingsApplication)
                                              : parts.join(QLatin1Char('/'));
  return QSettings(QSettings::UserScope, organisation, application);
}

constexpr double kScreenPixelsPerMm = kScreenDpi / 25.4;

// The part of `span` that the reader sees: inside the object's box, and only on a line whose
// baseline lies inside it (of a line cut off below the box at most a sliver of its top shows).
// Empty when nothing of it is shown.
QRectF ShownBox(const PageRenderer& renderer, const PreparedPage& page, const TextSpan& span) {
  const auto& item = std::get<TextItem>(page.items[static_cast<size_t>(span.item)]);
  const QRectF clip(item.clip.left, item.clip.top, item.clip.width, item.clip.height);
  if (item.y < clip.top() || item.y > clip.bottom()) return QRectF();
  return renderer.TextBoxMm(item, span.begin, span.end).intersected(clip);
}

}  // namespace

PreviewWindow::PreviewWindow(PreviewSource& source, PreviewDialogs& dialogs,
                             PreviewOptions preview, PrintOptions print, QWidget* parent)
    : QDialog(parent,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      source_(source),
      dialogs_(dialogs),
      preview_options_(preview),
      print_options_(std::move(print)) {
  setWindowTitle(Text(kPreviewTitle));
  setModal(true);
  prepare_timer_.setSingleShot(true);
  connect(&prepare_timer_, &QTimer::timeout, this, &PreviewWindow::Prepare);
  thumbnail_timer_.setInterval(0);
  connect(&thumbnail_timer_, &QTimer::timeout, this, &PreviewWindow::RenderThumbnailBatch);
  BuildUi();
  ApplyButtons();
  LoadSettings();
  UpdateControls();
}

void PreviewWindow::ApplyButtons() {
  const uint32_t buttons = preview_options_.buttons;
  const struct {
    uint32_t bits;
    std::initializer_list<const char*> actions;
  } kGroups[] = {
      {kPbPrint, {"print"}},
      {kPbLoad, {"open"}},
      {kPbSave, {"save"}},
      {kPbExport | kPbExportQuick, {"export"}},
      {kPbFind, {"find"}},
      {kPbZoom, {"zoomIn", "zoomOut", "zoom100", "pageWidth", "wholePage", "fullScreen"}},
      {kPbOutline, {"sidePanel"}},
      {kPbPageSetup, {"pageSettings"}},
      {kPbNavigator, {"first", "prior", "next", "last"}},
  };
  for (const auto& group : kGroups) {
    for (const char* name : group.actions) action(name)->setVisible((buttons & group.bits) != 0);
  }
  zoom_label_action_->setVisible((buttons & kPbZoom) != 0);
  page_field_action_->setVisible((buttons & kPbNavigator) != 0);
  page_count_action_->setVisible((buttons & kPbNavigator) != 0);
}

// What the preparing thread has handed over and the window has not taken yet. The first item
// put after a take asks the window's thread, by a queued call, to take everything there is.
class PreviewWindow::PageInbox final : public PageStream {
 public:
  explicit PageInbox(PreviewWindow* window) : window_(window) {}

  void Fonts(const std::vector<FontFace>& fonts) override {
    Put([&] {
      fonts_ = fonts;
      fonts_new_ = true;
    });
  }
  void Page(PreparedPage page) override { Put([&] { pages_.push_back(std::move(page)); }); }
  // The preparation has ended, with the complete font table or with an exception.
  void End(std::vector<FontFace> fonts, std::exception_ptr failure) {
    Put([&] {
      ended_ = true;
      final_fonts_ = std::move(fonts);
      failure_ = failure;
    });
  }

  struct Arrived {
    std::optional<std::vector<FontFace>> fonts;  // the font table, when new
    std::vector<PreparedPage> pages;
    bool ended = false;
    std::vector<FontFace> final_fonts;
    std::exception_ptr failure;
  };
  Arrived Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    Arrived arrived;
    if (fonts_new_) arrived.fonts = fonts_;
    fonts_new_ = false;
    arrived.pages = std::move(pages_);
    pages_.clear();
    arrived.ended = ended_;
    arrived.final_fonts = final_fonts_;
    arrived.failure = failure_;
    called_ = false;
    return arrived;
  }

 private:
  template <typename F>
  void Put(F&& put) {
    bool call = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      put();
      call = !called_;
      called_ = true;
    }
    // The window joins this thread before it goes, so it is there when the call arrives.
    if (call) {
      QMetaObject::invokeMethod(window_, [w = window_] { w->TakeArrivedPages(); },
                                Qt::QueuedConnection);
    }
  }

  PreviewWindow* const window_;
  std::mutex mutex_;
  bool called_ = false;  // a take has been asked for and has not happened yet
  std::vector<FontFace> fonts_;
  bool fonts_new_ = false;
  std::vector<PreparedPage> pages_;
  bool ended_ = false;
  std::vector<FontFace> final_fonts_;
  std::exception_ptr failure_;
};

PreviewWindow::~PreviewWindow() {
  if (preparing_thread_.joinable()) {
    preparing_thread_.join();
    QApplication::restoreOverrideCursor();
  }
  // The view points into the pages and renderer_; let go of them before they go.
  view_->SetPages(nullptr, nullptr);
}

QAction* PreviewWindow::AddAction(const char* name, const char* text, const char* tip,
                                  QKeySequence key) {
  auto* act = new QAction(Text(text), this);
  act->setObjectName(Text(name));
  QString tool_tip = tip ? Text(tip) : Text(text);
  if (!key.isEmpty()) {
    act->setShortcut(key);
    tool_tip = Text(kTipShortcutFormat).arg(tool_tip, key.toString(QKeySequence::NativeText));
  }
  act->setToolTip(tool_tip);
  return act;
}

QAction* PreviewWindow::action(const QString& name) const {
  return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

void PreviewWindow::BuildUi() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* bar = new QToolBar(this);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  layout->addWidget(bar);

  auto add = [&](const char* name, const char* text, const char* tip, QKeySequence key,
                 auto slot) {
    QAction* act = AddAction(name, text, tip, key);
    connect(act, &QAction::triggered, this, slot);
    bar->addAction(act);
    return act;
  };
  add("print", kActionPrint, kTipPrint, QKeySequence::Print, &PreviewWindow::OnPrint);
  add("open", kActionOpen, kTipOpen, QKeySequence::Open, &PreviewWindow::OnOpen);
  add("save", kActionSave, kTipSave, QKeySequence::Save, &PreviewWindow::OnSave);
  add("export", kActionExportPdf, kTipExportPdf, QKeySequence(), &PreviewWindow::OnExport);
  bar->addSeparator();
  add("find", kActionFind, kTipFind, QKeySequence::Find, &PreviewWindow::OnShowFind);
  bar->addSeparator();
  add("zoomIn", kActionZoomIn, kTipZoomIn, QKeySequence::ZoomIn, &PreviewWindow::ZoomIn);
  add("zoomOut", kActionZoomOut, kTipZoomOut, QKeySequence::ZoomOut, &PreviewWindow::ZoomOut);
  add("zoom100", kActionZoom100, kTipZoom100, QKeySequence(), [this] { SetZoom(1.0); });
  add("pageWidth", kActionPageWidth, kTipPageWidth, QKeySequence(), &PreviewWindow::FitPageWidth);
  add("wholePage", kActionWholePage, kTipWholePage, QKeySequence(),
      &PreviewWindow::FitWholePage);
  QAction* full = add("fullScreen", kActionFullScreen, kTipFullScreen, QKeySequence(Qt::Key_F11),
                      &PreviewWindow::ToggleFullScreen);
  full->setCheckable(true);
  zoom_label_ = new QLabel(this);
  zoom_label_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000%")));
  zoom_label_->setAlignment(Qt::AlignCenter);
  zoom_label_action_ = bar->addWidget(zoom_label_);
  bar->addSeparator();
  QAction* panel = AddAction("sidePanel", kActionSidePanel, kTipSidePanel, QKeySequence());
  panel->setCheckable(true);
  connect(panel, &QAction::toggled, this, &PreviewWindow::SetSidePanelVisible);
  bar->addAction(panel);
  add("pageSettings", kActionPageSettings, kTipPageSettings, QKeySequence(),
      &PreviewWindow::OnPageSettings);
  bar->addSeparator();
  add("first", kActionFirst, kTipFirst, QKeySequence(Qt::Key_Home), &PreviewWindow::First);
  add("prior", kActionPrior, kTipPrior, QKeySequence(), &PreviewWindow::Prior);
  page_field_ = new QLineEdit(this);
  page_field_->setObjectName(QStringLiteral("pageNumber"));
  page_field_->setToolTip(Text(kTipPageField));
  // Room for five digits; a page number never starts with 0.
  page_field_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[1-9][0-9]{0,4}")), page_field_));
  page_field_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
  page_field_->setAlignment(Qt::AlignRight);
  connect(page_field_, &QLineEdit::returnPressed, this, &PreviewWindow::OnPageFieldEntered);
  page_field_action_ = bar->addWidget(page_field_);
  page_count_label_ = new QLabel(this);
  page_count_label_->setContentsMargins(4, 0, 4, 0);
  page_count_action_ = bar->addWidget(page_count_label_);
  add("next", kActionNext, kTipNext, QKeySequence(), &PreviewWindow::Next);
  add("last", kActionLast, kTipLast, QKeySequence(Qt::Key_End), &PreviewWindow::Last);
  bar->addSeparator();
  add("close", kActionClose, kTipClose, QKeySequence(), &QDialog::reject);
  // The page buttons show arrows (their words stay as tips), so the whole bar fits a screen.
  const struct {
    const char* name;
    QStyle::StandardPixmap icon;
  } kArrows[] = {{"first", QStyle::SP_MediaSkipBackward},
                 {"prior", QStyle::SP_MediaSeekBackward},
                 {"next", QStyle::SP_MediaSeekForward},
                 {"last", QStyle::SP_MediaSkipForward}};
  for (const auto& arrow : kArrows) {
    QAction* act = action(arrow.name);
    act->setIcon(style()->standardIcon(arrow.icon));
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(act))) {
      button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
  }
  // Esc steps back out of a mode before it closes anything (not a button of its own).
  QAction* escape = AddAction("escape", kActionClose, kTipClose, QKeySequence(Qt::Key_Escape));
  connect(escape, &QAction::triggered, this, &PreviewWindow::OnEscape);
  addAction(escape);

  find_bar_ = new QWidget(this);
  auto* find_layout = new QHBoxLayout(find_bar_);
  find_layout->setContentsMargins(6, 2, 6, 2);
  find_layout->addWidget(new QLabel(Text(kFindLabel), find_bar_));
  find_field_ = new QLineEdit(find_bar_);
  find_field_->setObjectName(QStringLiteral("findText"));
  connect(find_field_, &QLineEdit::returnPressed, this, &PreviewWindow::OnFindEntered);
  find_layout->addWidget(find_field_, 1);
  // Enter in the find field searches; it must not also press a dialog default button.
  auto add_button = [&](const char* text, auto slot) {
    auto* button = new QPushButton(Text(text), find_bar_);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, slot);
    find_layout->addWidget(button);
  };
  add_button(kFindPrevious, &PreviewWindow::FindPrevious);
  add_button(kFindNext, &PreviewWindow::FindNext);
  find_status_ = new QLabel(find_bar_);
  find_layout->addWidget(find_status_);
  add_button(kFindClose, [this] {
    find_bar_->hide();
    scroll_->setFocus();
  });
  find_bar_->hide();
  layout->addWidget(find_bar_);

  splitter_ = new QSplitter(this);
  side_panel_ = new QTabWidget(splitter_);
  // Both tab labels stay whole: no eliding, and the panel is never narrower than its tabs.
  side_panel_->tabBar()->setElideMode(Qt::ElideNone);
  side_panel_->setUsesScrollButtons(false);
  outline_ = new QTreeWidget(side_panel_);
  outline_->setHeaderHidden(true);
  outline_->setRootIsDecorated(false);
  connect(outline_, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { GoToPage(outline_->indexOfTopLevelItem(item) + 1); });
  connect(outline_, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item) { GoToPage(outline_->indexOfTopLevelItem(item) + 1); });
  side_panel_->addTab(outline_, Text(kTabOutline));
  thumbnails_ = new QListWidget(side_panel_);
  thumbnails_->setObjectName(QStringLiteral("thumbnails"));
  thumbnails_->setViewMode(QListView::IconMode);
  thumbnails_->setFlow(QListView::TopToBottom);
  thumbnails_->setWrapping(false);
  thumbnails_->setMovement(QListView::Static);
  thumbnails_->setResizeMode(QListView::Adjust);
  thumbnails_->setUniformItemSizes(true);
  // A fixed cell for each page, so that the list is laid out right even while the pictures are
  // still being drawn (or while the panel is shown before any page exists).
  const QSize icon(kThumbnailWidthPx, kThumbnailHeightPx);
  thumbnails_->setIconSize(icon);
  thumbnails_->setGridSize(icon + QSize(16, kThumbnailLabelPx + 10));
  connect(thumbnails_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { GoToPage(thumbnails_->row(item) + 1); });
  side_panel_->addTab(thumbnails_, Text(kTabThumbnails));
  side_panel_->setMinimumWidth(
      std::max(side_panel_->tabBar()->sizeHint().width(), thumbnails_->gridSize().width()) +
      style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
  scroll_ = new QScrollArea(splitter_);
  scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  scroll_->setBackgroundRole(QPalette::Dark);
  scroll_->setFocusPolicy(Qt::StrongFocus);
  view_ = new PageView();
  scroll_->setWidget(view_);
  scroll_->viewport()->installEventFilter(this);
  connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this,
          &PreviewWindow::OnScrolled);
  splitter_->addWidget(side_panel_);
  splitter_->addWidget(scroll_);
  splitter_->setStretchFactor(1, 1);
  splitter_->setCollapsible(0, false);
  splitter_->setSizes({std::max(kSidePanelWidthPx, side_panel_->minimumWidth()), 1000});
  side_panel_->hide();
  layout->addWidget(splitter_, 1);
  setFocusProxy(scroll_);
}

void PreviewWindow::Run() {
  // Maximised where a window manager does it; where none runs the hint does nothing, so the
  // window is first given most of the screen itself.
  if (QScreen* screen = this->screen()) {
    const QRect free = screen->availableGeometry();
    const QSize size(static_cast<int>(free.width() * kLargeWindowShare),
                     static_cast<int>(free.height() * kLargeWindowShare));
    resize(size);
    move(free.center() - QPoint(size.width() / 2, size.height() / 2));
  }
  setWindowState(windowState() | Qt::WindowMaximized);
  exec();
}

void PreviewWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!started_) {
    started_ = true;
    prepare_timer_.start(kPreviewPrepareDelayMs);
  }
}

void PreviewWindow::done(int result) {
  if (printing_) return;  // the print's progress window ends it first
  prepare_timer_.stop();
  if (preparing_thread_.joinable()) {
    preparing_thread_.join();
    TakeArrivedPages();
  }
  thumbnail_timer_.stop();
  SaveSettings();
  QDialog::done(result);
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (zoom_mode_ != ZoomMode::kFactor) {
    // The scroll area takes its new size from the layout after this event.
    QTimer::singleShot(0, this, [this] {
      if (zoom_mode_ == ZoomMode::kPageWidth) FitPageWidth();
      if (zoom_mode_ == ZoomMode::kWholePage) FitWholePage();
    });
  }
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
  // Keys that the focused widget did not take scroll the pages.
  QScrollBar* bar = scroll_->verticalScrollBar();
  switch (event->key()) {
    case Qt::Key_PageDown: return ScrollScreens(1);
    case Qt::Key_PageUp: return ScrollScreens(-1);
    case Qt::Key_Down: return bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    case Qt::Key_Up: return bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    case Qt::Key_Right:
      return scroll_->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    case Qt::Key_Left:
      return scroll_->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    case Qt::Key_Escape: return OnEscape();
    default: QDialog::keyPressEvent(event);
  }
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scroll_->viewport() && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) {
      const int delta = wheel->angleDelta().y();
      if (delta > 0) ZoomIn();
      else if (delta < 0) ZoomOut();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void PreviewWindow::OnEscape() {
  if (find_bar_visible()) {
    find_bar_->hide();
    scroll_->setFocus();
  } else if (isFullScreen()) {
    ToggleFullScreen();
  } else {
    reject();
  }
}

void PreviewWindow::Prepare() {
  prepare_timer_.stop();
  if (preparing_thread_.joinable()) return;
  if (!source_.PreparesInSteps()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    PreparedReport pages = source_.Prepare();
    QApplication::restoreOverrideCursor();
    prepared_ = true;
    SetReport(std::move(pages));
    return;
  }
  SetReport(PreparedReport{});
  QApplication::setOverrideCursor(Qt::BusyCursor);
  inbox_ = std::make_shared<PageInbox>(this);
  preparing_thread_ = std::thread([this, inbox = inbox_] {
    std::vector<FontFace> fonts;
    std::exception_ptr failure;
    try {
      fonts = source_.PrepareInSteps(*inbox);
    } catch (...) {
      failure = std::current_exception();
    }
    inbox->End(std::move(fonts), failure);
  });
  UpdateControls();
}

void PreviewWindow::TakeArrivedPages() {
  if (!inbox_) return;
  PageInbox::Arrived arrived = inbox_->Take();
  if (arrived.fonts) {
    report_.fonts = std::move(*arrived.fonts);
    renderer_ = std::make_unique<PageRenderer>(report_.fonts);
    view_->SetPages(renderer_.get(), &shown_pages());
  }
  if (!arrived.pages.empty()) AppendPages(std::move(arrived.pages));
  if (arrived.ended) EndPreparing(std::move(arrived.final_fonts), arrived.failure);
}

void PreviewWindow::AppendPages(std::vector<PreparedPage> pages) {
  const int before = page_count();
  report_.pages.reserve(report_.pages.size() + pages.size());
  for (PreparedPage& page : pages) report_.pages.push_back(std::move(page));
  view_->SetPages(renderer_.get(), &shown_pages());
  if (before == 0 && zoom_mode_ == ZoomMode::kPageWidth) FitPageWidth();
  if (before == 0 && zoom_mode_ == ZoomMode::kWholePage) FitWholePage();
  QList<QTreeWidgetItem*> entries;
  QPixmap blank(thumbnails_->iconSize());
  blank.fill(Qt::white);
  const QIcon placeholder(blank);
  for (int i = before; i < page_count(); ++i) {
    entries.append(new QTreeWidgetItem(QStringList{Text(kOutlinePageFormat).arg(i + 1)}));
    auto* item = new QListWidgetItem(placeholder, QString::number(i + 1));
    item->setTextAlignment(Qt::AlignHCenter);
    thumbnails_->addItem(item);
  }
  outline_->addTopLevelItems(entries);
  if (before == 0) {
    ScrollToPage(0);
  } else {
    UpdateControls();
  }
}

void PreviewWindow::EndPreparing(std::vector<FontFace> fonts, std::exception_ptr failure) {
  if (preparing_thread_.joinable()) preparing_thread_.join();
  inbox_.reset();
  QApplication::restoreOverrideCursor();
  if (failure) std::rethrow_exception(failure);
  // A face first met after the first page (a row's own font) is only in the final table.
  if (fonts.size() != report_.fonts.size()) {
    report_.fonts = std::move(fonts);
    renderer_ = std::make_unique<PageRenderer>(report_.fonts);
    view_->SetPages(renderer_.get(), &shown_pages());
  }
  // The pictures of the thumbnails wait for the last page: until then the window's thread
  // leaves the processor to the preparation.
  next_thumbnail_ = 0;
  if (page_count() > 0) thumbnail_timer_.start();
  source_.EndPreparation();
  prepared_ = true;
  UpdateControls();
}

const std::vector<PreparedPage>& PreviewWindow::shown_pages() const {
  return sheet_chosen_ ? sheet_pages_ : report_.pages;
}

void PreviewWindow::SetReport(PreparedReport report) {
  view_->SetPages(nullptr, nullptr);
  report_ = std::move(report);
  sheet_pages_.clear();
  sheet_chosen_ = false;
  renderer_ = std::make_unique<PageRenderer>(report_.fonts);
  hits_.clear();
  current_hit_ = -1;
  find_status_->clear();
  page_ = report_.pages.empty() ? -1 : 0;

  outline_->clear();
  QList<QTreeWidgetItem*> entries;
  for (int i = 0; i < page_count(); ++i) {
    entries.append(new QTreeWidgetItem(QStringList{Text(kOutlinePageFormat).arg(i + 1)}));
  }
  outline_->addTopLevelItems(entries);
  ShowPages();
  ScrollToPage(page_);
}

void PreviewWindow::ShowPages() {
  view_->SetPages(renderer_.get(), &shown_pages());
  if (zoom_mode_ == ZoomMode::kPageWidth) FitPageWidth();
  if (zoom_mode_ == ZoomMode::kWholePage) FitWholePage();

  // Every page has its cell and number at once; the pictures follow a few at a time.
  thumbnails_->clear();
  QPixmap blank(thumbnails_->iconSize());
  blank.fill(Qt::white);
  const QIcon placeholder(blank);
  for (int i = 0; i < page_count(); ++i) {
    auto* item = new QListWidgetItem(placeholder, QString::number(i + 1));
    item->setTextAlignment(Qt::AlignHCenter);
    thumbnails_->addItem(item);
  }
  next_thumbnail_ = 0;
  if (page_count() > 0) thumbnail_timer_.start();
  UpdateHighlights();
  SyncPageLists();
  UpdateControls();
}

void PreviewWindow::ScrollToPage(int index, int offset_px) {
  if (index < 0) return UpdateControls();
  page_ = index;
  scrolling_to_page_ = true;
  scroll_->verticalScrollBar()->setValue(view_->PageRect(index).top() - kPageMarginPx +
                                         offset_px);
  scrolling_to_page_ = false;
  SyncPageLists();
  UpdateControls();
}

void PreviewWindow::OnScrolled() {
  if (scrolling_to_page_ || page_count() == 0) return;
  const int top = scroll_->verticalScrollBar()->value();
  const int page = view_->PageInRows(top, top + scroll_->viewport()->height());
  if (page == page_) return;
  page_ = page;
  SyncPageLists();
  UpdateControls();
}

void PreviewWindow::SyncPageLists() {
  if (page_ < 0) return;
  QSignalBlocker block_outline(outline_);
  QSignalBlocker block_thumbnails(thumbnails_);
  outline_->setCurrentItem(outline_->topLevelItem(page_));
  thumbnails_->setCurrentRow(page_);
}

void PreviewWindow::UpdateControls() {
  const bool any = page_count() > 0;
  const bool complete = !preparing_thread_.joinable();
  for (const char* name : {"print", "save", "export", "find"}) {
    action(name)->setEnabled(any && complete);
  }
  for (const char* name : {"open", "pageSettings"}) {
    if (QAction* a = action(name)) a->setEnabled(complete);
  }
  action("first")->setEnabled(page_ > 0);
  action("prior")->setEnabled(page_ > 0);
  action("next")->setEnabled(any && page_ < page_count() - 1);
  action("last")->setEnabled(any && page_ < page_count() - 1);
  page_field_->setEnabled(any);
  if (!page_field_->hasFocus() || !page_field_->isModified()) {
    page_field_->setText(any ? QString::number(page_number()) : QString());
    page_field_->setModified(false);
  }
  page_count_label_->setText(Text(kPageCountFormat).arg(page_count()));
  zoom_label_->setText(Text(kZoomFormat).arg(std::lround(zoom_ * 100)));
  action("fullScreen")->setChecked(isFullScreen());
  {
    QSignalBlocker block(action("sidePanel"));
    action("sidePanel")->setChecked(side_panel_visible());
  }
}

void PreviewWindow::GoToPage(int page_number) {
  if (page_count() == 0) return;
  ScrollToPage(std::clamp(page_number, 1, page_count()) - 1);
}

void PreviewWindow::First() { GoToPage(1); }
void PreviewWindow::Prior() { GoToPage(page_number() - 1); }
void PreviewWindow::Next() { GoToPage(page_number() + 1); }
void PreviewWindow::Last() { GoToPage(page_count()); }

void PreviewWindow::ScrollScreens(int screens) {
  QScrollBar* bar = scroll_->verticalScrollBar();
  for (int i = 0; i < std::abs(screens); ++i) {
    bar->triggerAction(screens > 0 ? QAbstractSlider::SliderPageStepAdd
                                   : QAbstractSlider::SliderPageStepSub);
  }
}

void PreviewWindow::OnPageFieldEntered() {
  bool ok = false;
  const int number = page_field_->text().toInt(&ok);
  page_field_->setModified(false);
  // A number outside the report is refused: the field shows the page in view again.
  if (ok && number >= 1 && number <= page_count()) GoToPage(number);
  else UpdateControls();
}

void PreviewWindow::ApplyZoom(double zoom, ZoomMode mode) {
  if (!std::isfinite(zoom)) zoom = kDefaultZoom;
  // Keep the same place of the page in view at the top of the window.
  QScrollBar* bar = scroll_->verticalScrollBar();
  const int page = page_;
  double fraction = 0;
  if (page >= 0) {
    const QRect rect = view_->PageRect(page);
    if (rect.height() > 0) fraction = double(bar->value() - rect.top()) / rect.height();
  }
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  zoom_mode_ = mode;
  view_->SetZoom(zoom_);
  if (page >= 0) {
    const QRect rect = view_->PageRect(page);
    scrolling_to_page_ = true;
    bar->setValue(rect.top() + static_cast<int>(std::lround(fraction * rect.height())));
    scrolling_to_page_ = false;
  }
  UpdateHighlights();
  UpdateControls();
}

void PreviewWindow::SetZoom(double zoom) { ApplyZoom(zoom, ZoomMode::kFactor); }

void PreviewWindow::ZoomIn() {
  for (double step : kZoomSteps) {
    if (step > zoom_ + 1e-6) return SetZoom(step);
  }
}

void PreviewWindow::ZoomOut() {
  for (auto it = kZoomSteps.crbegin(); it != kZoomSteps.crend(); ++it) {
    if (*it < zoom_ - 1e-6) return SetZoom(*it);
  }
}

void PreviewWindow::FitPageWidth() {
  if (page_ < 0) return ApplyZoom(zoom_, ZoomMode::kPageWidth);
  const int scrollbar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
  const double room = scroll_->maximumViewportSize().width() - scrollbar - 2 * kPageMarginPx;
  const PreparedPage& page = shown_pages()[static_cast<size_t>(page_)];
  ApplyZoom(room / (page.width * kScreenPixelsPerMm), ZoomMode::kPageWidth);
}

void PreviewWindow::FitWholePage() {
  if (page_ < 0) return ApplyZoom(zoom_, ZoomMode::kWholePage);
  const QSize room = scroll_->maximumViewportSize() - QSize(2 * kPageMarginPx, 2 * kPageMarginPx);
  const PreparedPage& page = shown_pages()[static_cast<size_t>(page_)];
  const int keep = page_;
  ApplyZoom(std::min(room.width() / (page.width * kScreenPixelsPerMm),
                     room.height() / (page.height * kScreenPixelsPerMm)),
            ZoomMode::kWholePage);
  ScrollToPage(keep);  // the whole page, from its top
}

void PreviewWindow::ToggleFullScreen() {
  if (isFullScreen()) {
    setWindowState(before_full_screen_);
    if (before_full_screen_ & Qt::WindowMaximized) showMaximized();
    else showNormal();
  } else {
    before_full_screen_ = windowState() & ~Qt::WindowFullScreen;
    showFullScreen();
  }
  UpdateControls();
}

bool PreviewWindow::side_panel_visible() const { return !side_panel_->isHidden(); }

bool PreviewWindow::find_bar_visible() const { return !find_bar_->isHidden(); }

void PreviewWindow::SetSidePanelVisible(bool visible) {
  side_panel_->setVisible(visible);
  UpdateControls();
}

void PreviewWindow::RenderThumbnailBatch() {
  if (!renderer_) return thumbnail_timer_.stop();
  const std::vector<PreparedPage>& pages = shown_pages();
  const int end = std::min(page_count(), next_thumbnail_ + kThumbnailsPerBatch);
  for (; next_thumbnail_ < end; ++next_thumbnail_) {
    const PreparedPage& page = pages[static_cast<size_t>(next_thumbnail_)];
    if (!(page.width > 0 && page.height > 0)) continue;
    // As large as the cell allows, whichever way the page lies.
    const double dpi = std::min<double>(kThumbnailWidthPx / page.width,
                                        kThumbnailHeightPx / page.height) * 25.4;
    QImage image = renderer_->Render(page, dpi);
    {
      QPainter frame(&image);  // the page's edge, so a white page stands out from the list
      frame.setPen(palette().color(QPalette::Mid));
      frame.drawRect(image.rect().adjusted(0, 0, -1, -1));
    }
    if (QListWidgetItem* item = thumbnails_->item(next_thumbnail_)) {
      item->setIcon(QIcon(QPixmap::fromImage(image)));
    }
  }
  if (next_thumbnail_ >= page_count()) thumbnail_timer_.stop();
}

int PreviewWindow::Find(const QString& text) {
  find_text_ = text;
  hits_ = search_.Find(shown_pages(), text);
  current_hit_ = -1;
  if (!hits_.empty()) {
    // Start on the page the user is looking at.
    auto first = std::find_if(hits_.begin(), hits_.end(),
                              [this](const TextMatch& hit) { return hit.page >= page_; });
    current_hit_ = first == hits_.end() ? 0 : static_cast<int>(first - hits_.begin());
  }
  UpdateHighlights();
  ShowCurrentHit();
  return hit_count();
}

void PreviewWindow::FindNext() {
  if (hits_.empty()) return;
  current_hit_ = (current_hit_ + 1) % hit_count();
  UpdateHighlights();
  ShowCurrentHit();
}

void PreviewWindow::FindPrevious() {
  if (hits_.empty()) return;
  current_hit_ = (current_hit_ + hit_count() - 1) % hit_count();
  UpdateHighlights();
  ShowCurrentHit();
}

std::optional<std::pair<int, int>> PreviewWindow::current_hit() const {
  if (current_hit_ < 0) return std::nullopt;
  const TextMatch& hit = hits_[static_cast<size_t>(current_hit_)];
  return std::make_pair(hit.page + 1, hit.spans.empty() ? -1 : hit.spans.front().item);
}

QList<QRectF> PreviewWindow::current_hit_boxes() const {
  QList<QRectF> boxes;
  if (current_hit_ < 0 || !renderer_) return boxes;
  const TextMatch& hit = hits_[static_cast<size_t>(current_hit_)];
  const PreparedPage& page = shown_pages()[static_cast<size_t>(hit.page)];
  for (const TextSpan& span : hit.spans) {
    // Only what the object's box shows: a line cut off below it is not marked over the next row.
    const QRectF box = ShownBox(*renderer_, page, span);
    if (!box.isEmpty()) boxes.append(box);
  }
  return boxes;
}

void PreviewWindow::ShowCurrentHit() {
  if (current_hit_ < 0) {
    find_status_->setText(find_text_.trimmed().isEmpty() ? QString() : Text(kFindNotFound));
    return;
  }
  find_status_->setText(Text(kFindHitsFormat).arg(current_hit_ + 1).arg(hit_count()));
  const TextMatch& hit = hits_[static_cast<size_t>(current_hit_)];
  const QList<QRectF> boxes = current_hit_boxes();
  QRect box;
  if (!boxes.isEmpty()) {
    box = view_->ToPixels(hit.page, boxes.front());
  } else if (!hit.spans.empty()) {
    const auto& item = std::get<TextItem>(
        shown_pages()[static_cast<size_t>(hit.page)].items[static_cast<size_t>(hit.spans.front().item)]);
    box = view_->ToPixels(hit.page, QRectF(item.clip.left, item.clip.top, item.clip.width,
                                           item.clip.height));
  }
  // Brought to about the middle of the window, where the eye looks for it.
  scrolling_to_page_ = true;
  scroll_->ensureVisible(box.center().x(), box.center().y(),
                         std::max(box.width() / 2 + kPageMarginPx, scroll_->viewport()->width() / 3),
                         std::max(box.height() / 2 + kPageMarginPx,
                                  scroll_->viewport()->height() / 3));
  scrolling_to_page_ = false;
  page_ = hit.page;
  SyncPageLists();
  UpdateControls();
}

void PreviewWindow::UpdateHighlights() {
  QList<PageView::Mark> marks;
  if (renderer_) {
    for (int h = 0; h < hit_count(); ++h) {
      const TextMatch& hit = hits_[static_cast<size_t>(h)];
      const PreparedPage& page = shown_pages()[static_cast<size_t>(hit.page)];
      for (const TextSpan& span : hit.spans) {
        const QRectF box = ShownBox(*renderer_, page, span);
        if (!box.isEmpty()) marks.append({hit.page, box, h == current_hit_});
      }
    }
  }
  view_->SetHighlights(marks);
}

void PreviewWindow::OnShowFind() {
  find_bar_->show();
  find_field_->setFocus();
  find_field_->selectAll();
}

void PreviewWindow::OnFindEntered() {
  if (find_field_->text() == find_text_ && !hits_.empty()) FindNext();
  else Find(find_field_->text());
}

QPrinter& PreviewWindow::Printer() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (print_options_.printer != PrintOptions::kDefaultPrinter) {
      printer_->setPrinterName(QString::fromStdString(print_options_.printer));
    }
    // The page settings start from the report's own paper and margins.
    const Margins& m = preview_options_.margins;
    if (page_ >= 0 || !report_.pages.empty()) {
      const PreparedPage& page = report_.pages[static_cast<size_t>(std::max(page_, 0))];
      const QSizeF portrait(std::min(page.width, page.height), std::max(page.width, page.height));
      printer_->setPageLayout(QPageLayout(
          QPageSize(portrait, QPageSize::Millimeter),
          page.width > page.height ? QPageLayout::Landscape : QPageLayout::Portrait,
          QMarginsF(m.left, m.top, m.right, m.bottom), QPageLayout::Millimeter));
    } else {
      printer_->setPageMargins(QMarginsF(m.left, m.top, m.right, m.bottom),
                               QPageLayout::Millimeter);
    }
  }
  return *printer_;
}

void PreviewWindow::OnPageSettings() {
  if (page_count() == 0) return;
  QPrinter& printer = Printer();
  if (!dialogs_.PageSetup(this, printer)) return;
  const QPageLayout layout = printer.pageLayout();
  const QRectF full = layout.fullRect(QPageLayout::Millimeter);
  const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
  Sheet sheet;
  sheet.width = static_cast<float>(full.width());
  sheet.height = static_cast<float>(full.height());
  sheet.margins = {static_cast<float>(margins.left()), static_cast<float>(margins.top()),
                   static_cast<float>(margins.right()), static_cast<float>(margins.bottom())};
  sheet_pages_.clear();
  sheet_pages_.reserve(report_.pages.size());
  for (const PreparedPage& page : report_.pages) {
    sheet_pages_.push_back(PageOnSheet(page, preview_options_.margins, sheet));
  }
  sheet_chosen_ = true;
  const int keep = page_;
  view_->SetPages(nullptr, nullptr);
  if (!find_text_.isEmpty()) hits_ = search_.Find(shown_pages(), find_text_);
  current_hit_ = std::min(current_hit_, hit_count() - 1);
  ShowPages();
  ScrollToPage(keep);
}

PrintResult PreviewWindow::PrintPages(const PrintJobSettings& job, int from, int to) {
  if (page_count() == 0 || printing_) return PrintResult::kCancelled;
  from = std::clamp(from, 1, page_count());
  to = std::clamp(to, from, page_count());
  printing_ = true;
  PrintProgressDialog progress(this);

  // 1. The engine writes the chosen pages as a PDF file, the same as an export of them.
  PrintResult result = PrintResult::kCancelled;
  QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("print.pdf"));
  PreparedReport chosen;
  chosen.fonts = report_.fonts;
  chosen.pages.assign(shown_pages().begin() + (from - 1), shown_pages().begin() + to);
  if (!dir.isValid()) {
    source_.ShowErrors({kPrintTempFailed});
    result = PrintResult::kFailed;
  } else if (!source_.ExportPdf(chosen, FilePath(pdf), &progress)) {
    result = PrintResult::kFailed;  // the error box has said why
  } else if (!progress.cancelled()) {
    // 2. The file goes to the printer beside the window's thread, so the window keeps
    //    drawing and the cancel button answers while the printer takes it.
    progress.Sending(job.printer.empty() ? Text(kPrintDefaultPrinter)
                                         : QString::fromStdString(job.printer));
    std::atomic<bool> cancel = false, done = false;
    std::atomic<int> permille = 0;
    std::string error;
    QEventLoop loop;
    std::thread sender([&] {
      result = SendPdfToPrinter(job, FilePath(pdf),
                                [&](uint64_t sent, uint64_t total) {
                                  permille = total ? static_cast<int>(sent * 1000 / total) : 1000;
                                  return !cancel.load();
                                },
                                &error);
      done = true;
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QTimer tick;
    connect(&tick, &QTimer::timeout, &loop, [&] {
      if (progress.cancelled()) cancel = true;
      progress.Sent(permille);
    });
    tick.start(50);
    if (!done) loop.exec();
    sender.join();
    if (result == PrintResult::kFailed) source_.ShowErrors({error});
  }
  printing_ = false;
  return result;
}

void PreviewWindow::OnPrint() {
  if (page_count() == 0) return;
  QPrinter& printer = Printer();
  PrintJobSettings job;
  if (!dialogs_.Print(this, printer, page_count(), &job)) return;
  job.title = kPrintJobName;
  job.copies = std::max(1, printer.copyCount());
  job.collate = printer.collateCopies();
  int from = 1, to = page_count();
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    from = printer.fromPage();
    to = printer.toPage() > 0 ? printer.toPage() : page_count();
  } else if (printer.printRange() == QPrinter::CurrentPage) {
    from = to = page_number();
  }
  if (job.printer.empty() && !printer.outputFileName().isEmpty()) {
    // "Print to file": the file is the engine's own PDF of those pages.
    PreparedReport chosen;
    chosen.fonts = report_.fonts;
    from = std::clamp(from, 1, page_count());
    to = std::clamp(to, from, page_count());
    chosen.pages.assign(shown_pages().begin() + (from - 1), shown_pages().begin() + to);
    ExportProgressDialog progress(this);
    source_.ExportPdf(chosen, FilePath(printer.outputFileName()), &progress);
    return;
  }
  PrintPages(job, from, to);
}

bool PreviewWindow::SaveTo(const QString& path) {
  std::string error;
  if (source_.Save(report_, FilePath(path), &error)) return true;
  source_.ShowErrors({error});
  return false;
}

bool PreviewWindow::OpenFrom(const QString& path) {
  std::string error;
  std::optional<PreparedReport> loaded = source_.Load(FilePath(path), &error);
  if (!loaded) {
    const QString name = QDir::toNativeSeparators(path);
    source_.ShowErrors(
        {Text(kOpenFailedFormat).arg(name, QString::fromStdString(error)).toStdString()});
    return false;
  }
  SetReport(std::move(*loaded));
  return true;
}

bool PreviewWindow::ExportTo(const QString& path) {
  ExportProgressDialog progress(this);
  return source_.ExportPdf(report_, FilePath(path), &progress);
}

void PreviewWindow::OnOpen() {
  const QString path = dialogs_.OpenFileName(this);
  if (!path.isEmpty()) OpenFrom(path);
}

void PreviewWindow::OnSave() {
  const QString path = dialogs_.SaveFileName(this);
  if (!path.isEmpty()) SaveTo(path);
}

void PreviewWindow::OnExport() {
  const QString path = dialogs_.ExportFileName(this);
  if (!path.isEmpty()) ExportTo(path);
}

void PreviewWindow::LoadSettings() {
  QSettings settings = UserSettings();
  const double remembered = settings.value(kKeyZoom, kDefaultZoom).toDouble();
  const int mode = settings.value(kKeyZoomMode, 0).toInt();
  side_panel_->setVisible(settings.value(kKeySidePanel, false).toBool());
  side_panel_->setCurrentIndex(settings.value(kKeySidePanelTab, 0).toInt());
  if (preview_options_.zoom) {
    ApplyZoom(*preview_options_.zoom, ZoomMode::kFactor);
  } else {
    ApplyZoom(remembered, mode == 1   ? ZoomMode::kPageWidth
                          : mode == 2 ? ZoomMode::kWholePage
                                      : ZoomMode::kFactor);
  }
}

void PreviewWindow::SaveSettings() const {
  QSettings settings = UserSettings();
  settings.setValue(kKeyZoom, zoom_);
  settings.setValue(kKeyZoomMode, static_cast<int>(zoom_mode_));
  settings.setValue(kKeySidePanel, side_panel_visible());
  settings.setValue(kKeySidePanelTab, side_panel_->currentIndex());
}

}  // namespace re

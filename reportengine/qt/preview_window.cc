#include "reportengine/qt/preview_window.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "reportengine/qt/export_progress_dialog.h"
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

// The settings live under the last part of the engine's registry-style place name.
QSettings UserSettings() {
  const QString place = Text(kIniFile);
  return QSettings(QSettings::UserScope, place.section(QLatin1Char('\\'), -1),
                   Text(kSettingsApplication));
}

constexpr double kScreenPixelsPerMm = kScreenDpi / 25.4;

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

PreviewWindow::~PreviewWindow() {
  // The view points into report_ and renderer_; let go of them before they go.
  view_->SetPage(nullptr, nullptr);
}

QAction* PreviewWindow::AddAction(const char* name, const char* text, QKeySequence key) {
  auto* act = new QAction(Text(text), this);
  act->setObjectName(Text(name));
  if (!key.isEmpty()) {
    act->setShortcut(key);
    act->setToolTip(QStringLiteral("%1 (%2)").arg(Text(text), key.toString(QKeySequence::NativeText)));
  }
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

  auto add = [&](const char* name, const char* text, QKeySequence key, auto slot) {
    QAction* act = AddAction(name, text, key);
    connect(act, &QAction::triggered, this, slot);
    bar->addAction(act);
    return act;
  };
  add("print", kActionPrint, QKeySequence::Print, &PreviewWindow::OnPrint);
  add("open", kActionOpen, QKeySequence::Open, &PreviewWindow::OnOpen);
  add("save", kActionSave, QKeySequence::Save, &PreviewWindow::OnSave);
  add("export", kActionExportPdf, QKeySequence(), &PreviewWindow::OnExport);
  bar->addSeparator();
  add("find", kActionFind, QKeySequence::Find, &PreviewWindow::OnShowFind);
  bar->addSeparator();
  add("zoomIn", kActionZoomIn, QKeySequence::ZoomIn, &PreviewWindow::ZoomIn);
  add("zoomOut", kActionZoomOut, QKeySequence::ZoomOut, &PreviewWindow::ZoomOut);
  add("zoom100", kActionZoom100, QKeySequence(), [this] { SetZoom(1.0); });
  add("pageWidth", kActionPageWidth, QKeySequence(), &PreviewWindow::FitPageWidth);
  add("wholePage", kActionWholePage, QKeySequence(), &PreviewWindow::FitWholePage);
  QAction* full = add("fullScreen", kActionFullScreen, QKeySequence::FullScreen,
                      &PreviewWindow::ToggleFullScreen);
  full->setCheckable(true);
  zoom_label_ = new QLabel(this);
  zoom_label_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000%")));
  zoom_label_->setAlignment(Qt::AlignCenter);
  zoom_label_action_ = bar->addWidget(zoom_label_);
  bar->addSeparator();
  QAction* panel = AddAction("sidePanel", kActionSidePanel, QKeySequence());
  panel->setCheckable(true);
  connect(panel, &QAction::toggled, this, &PreviewWindow::SetSidePanelVisible);
  bar->addAction(panel);
  add("pageSettings", kActionPageSettings, QKeySequence(), &PreviewWindow::OnPageSettings);
  bar->addSeparator();
  add("first", kActionFirst, QKeySequence(Qt::Key_Home), &PreviewWindow::First);
  add("prior", kActionPrior, QKeySequence(Qt::Key_PageUp), &PreviewWindow::Prior);
  page_field_ = new QLineEdit(this);
  page_field_->setObjectName(QStringLiteral("pageNumber"));
  page_field_->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
  page_field_->setAlignment(Qt::AlignRight);
  page_field_->setValidator(new QIntValidator(1, 1, page_field_));
  connect(page_field_, &QLineEdit::returnPressed, this, &PreviewWindow::OnPageFieldEntered);
  page_field_action_ = bar->addWidget(page_field_);
  page_count_label_ = new QLabel(this);
  page_count_label_->setContentsMargins(4, 0, 4, 0);
  page_count_action_ = bar->addWidget(page_count_label_);
  add("next", kActionNext, QKeySequence(Qt::Key_PageDown), &PreviewWindow::Next);
  add("last", kActionLast, QKeySequence(Qt::Key_End), &PreviewWindow::Last);
  bar->addSeparator();
  add("close", kActionClose, QKeySequence(Qt::Key_Escape), &QDialog::reject);

  find_bar_ = new QWidget(this);
  auto* find_layout = new QHBoxLayout(find_bar_);
  find_layout->setContentsMargins(6, 2, 6, 2);
  find_layout->addWidget(new QLabel(Text(kFindLabel), find_bar_));
  find_field_ = new QLineEdit(find_bar_);
  find_field_->setObjectName(QStringLiteral("findText"));
  connect(find_field_, &QLineEdit::returnPressed, this, &PreviewWindow::OnFindEntered);
  find_layout->addWidget(find_field_, 1);
  // Enter in the find field searches; it must not also press a dialog default button.
  auto* previous = new QPushButton(Text(kFindPrevious), find_bar_);
  previous->setAutoDefault(false);
  connect(previous, &QPushButton::clicked, this, &PreviewWindow::FindPrevious);
  find_layout->addWidget(previous);
  auto* next = new QPushButton(Text(kFindNext), find_bar_);
  next->setAutoDefault(false);
  connect(next, &QPushButton::clicked, this, &PreviewWindow::FindNext);
  find_layout->addWidget(next);
  find_status_ = new QLabel(find_bar_);
  find_layout->addWidget(find_status_);
  find_bar_->hide();
  layout->addWidget(find_bar_);

  splitter_ = new QSplitter(this);
  side_panel_ = new QTabWidget(splitter_);
  outline_ = new QTreeWidget(side_panel_);
  outline_->setHeaderHidden(true);
  outline_->setRootIsDecorated(false);
  connect(outline_, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { GoToPage(outline_->indexOfTopLevelItem(item) + 1); });
  connect(outline_, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item) { GoToPage(outline_->indexOfTopLevelItem(item) + 1); });
  side_panel_->addTab(outline_, Text(kTabOutline));
  thumbnails_ = new QListWidget(side_panel_);
  thumbnails_->setViewMode(QListView::IconMode);
  thumbnails_->setFlow(QListView::TopToBottom);
  thumbnails_->setWrapping(false);
  thumbnails_->setMovement(QListView::Static);
  thumbnails_->setIconSize(QSize(kThumbnailWidthPx, kThumbnailWidthPx * 3 / 2));
  connect(thumbnails_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { GoToPage(thumbnails_->row(item) + 1); });
  side_panel_->addTab(thumbnails_, Text(kTabThumbnails));
  scroll_ = new QScrollArea(splitter_);
  scroll_->setAlignment(Qt::AlignCenter);
  scroll_->setBackgroundRole(QPalette::Dark);
  view_ = new PageView();
  scroll_->setWidget(view_);
  splitter_->addWidget(side_panel_);
  splitter_->addWidget(scroll_);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({kSidePanelWidthPx, 1000});
  side_panel_->hide();
  layout->addWidget(splitter_, 1);
}

void PreviewWindow::Run() {
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
  prepare_timer_.stop();
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

void PreviewWindow::Prepare() {
  prepare_timer_.stop();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  PreparedReport pages = source_.Prepare();
  QApplication::restoreOverrideCursor();
  prepared_ = true;
  SetReport(std::move(pages));
}

void PreviewWindow::SetReport(PreparedReport report) {
  view_->SetPage(nullptr, nullptr);
  report_ = std::move(report);
  renderer_ = std::make_unique<PageRenderer>(report_.fonts);
  hits_.clear();
  current_hit_ = -1;
  find_status_->clear();
  page_ = report_.pages.empty() ? -1 : 0;

  outline_->clear();
  thumbnails_->clear();
  QList<QTreeWidgetItem*> entries;
  for (int i = 0; i < page_count(); ++i) {
    const QString label = Text(kOutlinePageFormat).arg(i + 1);
    entries.append(new QTreeWidgetItem(QStringList{label}));
    thumbnails_->addItem(new QListWidgetItem(QString::number(i + 1)));
  }
  outline_->addTopLevelItems(entries);
  next_thumbnail_ = 0;
  if (page_count() > 0) thumbnail_timer_.start();
  static_cast<QIntValidator*>(const_cast<QValidator*>(page_field_->validator()))
      ->setRange(1, std::max(1, page_count()));
  ShowPage();
}

void PreviewWindow::ShowPage() {
  view_->SetPage(renderer_.get(), page_ >= 0 ? &report_.pages[page_] : nullptr);
  if (zoom_mode_ == ZoomMode::kPageWidth) FitPageWidth();
  if (zoom_mode_ == ZoomMode::kWholePage) FitWholePage();
  UpdateHighlights();
  scroll_->horizontalScrollBar()->setValue(0);
  scroll_->verticalScrollBar()->setValue(0);
  if (page_ >= 0) {
    QSignalBlocker block_outline(outline_);
    QSignalBlocker block_thumbnails(thumbnails_);
    outline_->setCurrentItem(outline_->topLevelItem(page_));
    thumbnails_->setCurrentRow(page_);
  }
  UpdateControls();
}

void PreviewWindow::UpdateControls() {
  const bool any = page_count() > 0;
  for (const char* name : {"print", "save", "export", "find"}) action(name)->setEnabled(any);
  action("first")->setEnabled(page_ > 0);
  action("prior")->setEnabled(page_ > 0);
  action("next")->setEnabled(any && page_ < page_count() - 1);
  action("last")->setEnabled(any && page_ < page_count() - 1);
  page_field_->setEnabled(any);
  page_field_->setText(any ? QString::number(page_number()) : QString());
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
  const int index = std::clamp(page_number, 1, page_count()) - 1;
  if (index == page_) {
    UpdateControls();  // puts back the page field after an entry out of range
    return;
  }
  page_ = index;
  ShowPage();
}

void PreviewWindow::First() { GoToPage(1); }
void PreviewWindow::Prior() { GoToPage(page_number() - 1); }
void PreviewWindow::Next() { GoToPage(page_number() + 1); }
void PreviewWindow::Last() { GoToPage(page_count()); }

void PreviewWindow::OnPageFieldEntered() {
  bool ok = false;
  const int number = page_field_->text().toInt(&ok);
  if (ok) GoToPage(number);
  else UpdateControls();
}

void PreviewWindow::ApplyZoom(double zoom, ZoomMode mode) {
  if (!std::isfinite(zoom)) zoom = kDefaultZoom;
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  zoom_mode_ = mode;
  view_->SetZoom(zoom_);
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
  ApplyZoom(room / (report_.pages[page_].width * kScreenPixelsPerMm), ZoomMode::kPageWidth);
}

void PreviewWindow::FitWholePage() {
  if (page_ < 0) return ApplyZoom(zoom_, ZoomMode::kWholePage);
  const QSize room = scroll_->maximumViewportSize() - QSize(2 * kPageMarginPx, 2 * kPageMarginPx);
  const PreparedPage& page = report_.pages[page_];
  ApplyZoom(std::min(room.width() / (page.width * kScreenPixelsPerMm),
                     room.height() / (page.height * kScreenPixelsPerMm)),
            ZoomMode::kWholePage);
}

void PreviewWindow::ToggleFullScreen() {
  if (isFullScreen()) showMaximized();
  else showFullScreen();
  UpdateControls();
}

bool PreviewWindow::side_panel_visible() const { return !side_panel_->isHidden(); }

void PreviewWindow::SetSidePanelVisible(bool visible) {
  side_panel_->setVisible(visible);
  UpdateControls();
}

void PreviewWindow::RenderThumbnailBatch() {
  if (!renderer_) return thumbnail_timer_.stop();
  const int end = std::min(page_count(), next_thumbnail_ + kThumbnailsPerBatch);
  for (; next_thumbnail_ < end; ++next_thumbnail_) {
    const PreparedPage& page = report_.pages[next_thumbnail_];
    if (!(page.width > 0)) continue;
    const QImage image = renderer_->Render(page, kThumbnailWidthPx * 25.4 / page.width);
    if (QListWidgetItem* item = thumbnails_->item(next_thumbnail_)) {
      item->setIcon(QIcon(QPixmap::fromImage(image)));
    }
  }
  if (next_thumbnail_ >= page_count()) thumbnail_timer_.stop();
}

int PreviewWindow::Find(const QString& text) {
  find_text_ = text;
  hits_.clear();
  current_hit_ = -1;
  if (!text.isEmpty()) {
    for (int p = 0; p < page_count(); ++p) {
      const auto& items = report_.pages[p].items;
      for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        const auto* item = std::get_if<TextItem>(&items[i]);
        if (!item || !item->line) continue;
        const QString line = QString::fromStdString(item->line->text);
        for (qsizetype at = line.indexOf(text, 0, Qt::CaseInsensitive); at >= 0;
             at = line.indexOf(text, at + text.size(), Qt::CaseInsensitive)) {
          const size_t begin = static_cast<size_t>(line.left(at).toUtf8().size());
          const size_t length = static_cast<size_t>(line.mid(at, text.size()).toUtf8().size());
          hits_.push_back({p, i, begin, begin + length});
        }
      }
    }
  }
  if (!hits_.empty()) {
    // Start on the page the user is looking at.
    auto first = std::find_if(hits_.begin(), hits_.end(),
                              [this](const Hit& hit) { return hit.page >= page_; });
    current_hit_ = first == hits_.end() ? 0 : static_cast<int>(first - hits_.begin());
  }
  ShowCurrentHit();
  return hit_count();
}

void PreviewWindow::FindNext() {
  if (hits_.empty()) return;
  current_hit_ = (current_hit_ + 1) % hit_count();
  ShowCurrentHit();
}

void PreviewWindow::FindPrevious() {
  if (hits_.empty()) return;
  current_hit_ = (current_hit_ + hit_count() - 1) % hit_count();
  ShowCurrentHit();
}

std::optional<std::pair<int, int>> PreviewWindow::current_hit() const {
  if (current_hit_ < 0) return std::nullopt;
  const Hit& hit = hits_[current_hit_];
  return std::make_pair(hit.page + 1, hit.item);
}

void PreviewWindow::ShowCurrentHit() {
  if (current_hit_ < 0) {
    find_status_->setText(find_text_.isEmpty() ? QString() : Text(kFindNotFound));
    UpdateHighlights();
    return;
  }
  find_status_->setText(Text(kFindHitsFormat).arg(current_hit_ + 1).arg(hit_count()));
  const Hit& hit = hits_[current_hit_];
  if (hit.page != page_) {
    page_ = hit.page;
    ShowPage();
  } else {
    UpdateHighlights();
  }
  const auto& item = std::get<TextItem>(report_.pages[page_].items[hit.item]);
  const QRect box = view_->ToPixels(renderer_->TextBoxMm(item, hit.begin, hit.end));
  scroll_->ensureVisible(box.center().x(), box.center().y(), box.width() / 2 + kPageMarginPx,
                         box.height() / 2 + kPageMarginPx);
}

void PreviewWindow::UpdateHighlights() {
  QList<QRectF> boxes;
  int current = -1;
  for (int h = 0; h < hit_count(); ++h) {
    const Hit& hit = hits_[h];
    if (hit.page != page_) continue;
    if (h == current_hit_) current = static_cast<int>(boxes.size());
    const auto& item = std::get<TextItem>(report_.pages[page_].items[hit.item]);
    boxes.append(renderer_->TextBoxMm(item, hit.begin, hit.end));
  }
  view_->SetHighlights(boxes, current);
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

bool PreviewWindow::PrintTo(QPrinter& printer) const {
  if (page_count() == 0) return true;
  int from = printer.fromPage(), to = printer.toPage();
  if (from <= 0 || to <= 0) {
    from = 1;
    to = page_count();
  }
  from = std::clamp(from, 1, page_count());
  to = std::clamp(to, from, page_count());
  printer.setFullPage(true);
  // Paper chosen in the page settings holds each page scaled down to fit its printable area;
  // otherwise every sheet has the page's own size.
  const QPageLayout chosen = printer.pageLayout();
  QPainter painter;
  for (int number = from; number <= to; ++number) {
    const PreparedPage& page = report_.pages[number - 1];
    if (!page_setup_chosen_) {
      const QSizeF portrait(std::min(page.width, page.height), std::max(page.width, page.height));
      printer.setPageLayout(QPageLayout(
          QPageSize(portrait, QPageSize::Millimeter),
          page.width > page.height ? QPageLayout::Landscape : QPageLayout::Portrait,
          QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    }
    if (number == from) {
      if (!painter.begin(&printer)) return false;
    } else if (!printer.newPage()) {
      return false;
    }
    const double units_per_mm = printer.resolution() / 25.4;
    QRectF area(QPointF(0, 0), chosen.fullRect(QPageLayout::Millimeter).size());
    double scale = 1;
    if (page_setup_chosen_) {
      area = chosen.paintRect(QPageLayout::Millimeter);
      if (page.width > 0 && page.height > 0) {
        scale = std::min({1.0, area.width() / page.width, area.height() / page.height});
      }
    }
    renderer_->Draw(painter, page, area.topLeft() * units_per_mm, units_per_mm * scale);
  }
  painter.end();
  return true;
}

void PreviewWindow::OnPrint() {
  if (page_count() == 0) return;
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (print_options_.printer != PrintOptions::kDefaultPrinter) {
      printer_->setPrinterName(QString::fromStdString(print_options_.printer));
    }
  }
  if (!dialogs_.Print(this, *printer_, page_count())) return;
  if (!PrintTo(*printer_)) source_.ShowErrors({kPrintFailed});
}

void PreviewWindow::OnPageSettings() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (page_ >= 0) {
      const PreparedPage& page = report_.pages[page_];
      const QSizeF portrait(std::min(page.width, page.height), std::max(page.width, page.height));
      printer_->setPageSize(QPageSize(portrait, QPageSize::Millimeter));
      printer_->setPageOrientation(page.width > page.height ? QPageLayout::Landscape
                                                            : QPageLayout::Portrait);
    }
  }
  if (dialogs_.PageSetup(this, *printer_)) page_setup_chosen_ = true;
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
    source_.ShowErrors({error});
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

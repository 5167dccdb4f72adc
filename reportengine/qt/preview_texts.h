// Every text the preview window shows and every fixed number it works with, in one place.
#ifndef REPORTENGINE_QT_PREVIEW_TEXTS_H_
#define REPORTENGINE_QT_PREVIEW_TEXTS_H_

#include <QList>

namespace re::preview {

// Window and toolbar (the title and the delay before preparing are the engine's own).
inline constexpr char kActionPrint[] = "印刷";
inline constexpr char kActionOpen[] = "開く";
inline constexpr char kActionSave[] = "保存";
inline constexpr char kActionExportPdf[] = "PDF 出力";
inline constexpr char kActionFind[] = "検索";
inline constexpr char kActionZoomIn[] = "拡大";
inline constexpr char kActionZoomOut[] = "縮小";
inline constexpr char kActionZoom100[] = "100%";
inline constexpr char kActionPageWidth[] = "ページ幅";
inline constexpr char kActionWholePage[] = "ページ全体";
inline constexpr char kActionFullScreen[] = "全画面";
inline constexpr char kActionSidePanel[] = "アウトライン";
inline constexpr char kActionPageSettings[] = "ページ設定";
inline constexpr char kActionFirst[] = "最初のページ";
inline constexpr char kActionPrior[] = "前のページ";
inline constexpr char kActionNext[] = "次のページ";
inline constexpr char kActionLast[] = "最後のページ";
inline constexpr char kActionClose[] = "閉じる";
inline constexpr char kTipPrint[] = "ページを選んでプリンターで印刷します";
inline constexpr char kTipOpen[] = "保存したレポートファイルを開きます";
inline constexpr char kTipSave[] = "このレポートをファイルに保存します";
inline constexpr char kTipExportPdf[] = "このレポートを PDF ファイルに出力します";
inline constexpr char kTipFind[] = "ページの中の文字を検索します";
inline constexpr char kTipZoomIn[] = "表示を拡大します";
inline constexpr char kTipZoomOut[] = "表示を縮小します";
inline constexpr char kTipZoom100[] = "実際の大きさ (100%) で表示します";
inline constexpr char kTipPageWidth[] = "ページの幅をウィンドウに合わせます";
inline constexpr char kTipWholePage[] = "ページ全体をウィンドウに収めます";
inline constexpr char kTipFullScreen[] = "全画面表示に切り替えます (Esc で戻ります)";
inline constexpr char kTipSidePanel[] = "アウトラインとサムネイルを表示します";
inline constexpr char kTipPageSettings[] = "用紙の大きさ・向き・余白を設定します";
inline constexpr char kTipFirst[] = "最初のページへ移動します";
inline constexpr char kTipPrior[] = "前のページへ移動します";
inline constexpr char kTipNext[] = "次のページへ移動します";
inline constexpr char kTipLast[] = "最後のページへ移動します";
inline constexpr char kTipClose[] = "プレビューを閉じます";
inline constexpr char kTipPageField[] = "ページ番号を入力して Enter で移動します";
inline constexpr char kTipShortcutFormat[] = "%1 (%2)";  // %1: the tip, %2: its key
inline constexpr char kPageCountFormat[] = "/ %1 ページ";  // after the page number field
inline constexpr char kZoomFormat[] = "%1%";                // the zoom shown in the toolbar

// Side panel.
inline constexpr char kTabOutline[] = "アウトライン";
inline constexpr char kTabThumbnails[] = "サムネイル";
inline constexpr char kOutlinePageFormat[] = "%1 ページ";

// Find bar.
inline constexpr char kFindLabel[] = "検索:";
inline constexpr char kFindNext[] = "次を検索";
inline constexpr char kFindPrevious[] = "前を検索";
inline constexpr char kFindClose[] = "閉じる";
inline constexpr char kFindHitsFormat[] = "%2 件中 %1 件目";
inline constexpr char kFindNotFound[] = "見つかりません";

// File dialogs.
inline constexpr char kOpenCaption[] = "開く";
inline constexpr char kSaveCaption[] = "保存";
inline constexpr char kExportCaption[] = "PDF 出力";
inline constexpr char kPreparedFilterFormat[] = "レポートファイル (*%1)";  // %1: the extension
inline constexpr char kPdfFilter[] = "PDF ファイル (*.pdf)";
inline constexpr char kPdfExtension[] = ".pdf";

// Progress windows and error box.
inline constexpr char kProgressCaption[] = "PDF 出力";
inline constexpr char kProgressFormat[] = "%2 ページ中 %1 ページ目を出力しています";
inline constexpr char kPrintProgressCaption[] = "印刷";
inline constexpr char kPrintPreparingFormat[] = "印刷データを作成しています (%2 ページ中 %1 ページ目)";
inline constexpr char kPrintSendingFormat[] = "プリンター「%1」へ送信しています";
inline constexpr char kPrintCancel[] = "キャンセル";
inline constexpr char kPrintCancelling[] = "印刷を中止しています";
inline constexpr char kPrintDefaultPrinter[] = "通常使うプリンター";
inline constexpr char kPrintJobName[] = "Preview";    // the job's name in the printer queue
inline constexpr char kNoPdfExporter[] = "PDF を出力できません";
inline constexpr char kPrintFailed[] = "印刷できませんでした: ";  // followed by the reason
inline constexpr char kPrintNoPrinter[] = "プリンターが見つかりません: ";  // followed by its name
inline constexpr char kPrintConnectFailed[] = "プリンターに接続できません: ";  // + its name
inline constexpr char kPrintFileUnreadable[] = "印刷データを読めません";
inline constexpr char kPrintTempFailed[] = "印刷データの一時ファイルを作れません";
inline constexpr char kOpenFailedFormat[] = "%1 を開けません: %2";  // %1: the file, %2: why
inline constexpr char kNoDisplayMessage[] =
    "プレビューを表示できません: 画面がありません";

// Qt's own dialogs (print, page setup, file) speak the user's language through this file of
// Qt's translations.
inline constexpr char kQtTranslation[] = "qtbase_ja";

// Where the window remembers its own settings per user, and the keys it uses.
inline constexpr char kIniFile[] = "\\Software\\Kavel\\Preview";
inline constexpr char kSettingsApplication[] = "Preview";
inline constexpr char kKeyZoom[] = "Zoom";
inline constexpr char kKeyZoomMode[] = "ZoomMode";
inline constexpr char kKeySidePanel[] = "SidePanelVisible";
inline constexpr char kKeySidePanelTab[] = "SidePanelTab";

// Timing and geometry.
inline constexpr double kScreenDpi = 96;              // 100 % shows a millimetre as at 96 dpi
inline constexpr double kDefaultZoom = 1.0;           // PreviewOptions.Zoom of the templates
inline constexpr double kMinZoom = 0.1;
inline constexpr double kMaxZoom = 8.0;
inline const QList<double> kZoomSteps = {0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0};
inline constexpr int kPageMarginPx = 10;              // grey space around and between pages
inline constexpr double kLargeWindowShare = 0.9;      // of the screen, when no window manager
                                                      // maximises the window
inline constexpr int kWheelZoomStepDegrees = 120;     // one notch of a mouse wheel
inline constexpr int kThumbnailWidthPx = 100;
inline constexpr int kThumbnailHeightPx = 142;        // an A4 portrait page at that width
inline constexpr int kThumbnailsPerBatch = 8;         // rendered per event-loop turn
inline constexpr int kSidePanelWidthPx = 170;
inline constexpr int kThumbnailLabelPx = 20;           // room for the page number below
inline constexpr unsigned kHighlightArgb = 0x80ffd800;        // every hit on the page
inline constexpr unsigned kCurrentHighlightArgb = 0x80ff8000; // the hit moved to

// Printing: the PDF goes to the printer in pieces of this size, checking for cancel between them.
inline constexpr int kPrintChunkBytes = 64 * 1024;
inline constexpr int kPrintConnectTimeoutMs = 30000;

// Drawing.
inline constexpr double kReferencePixelSize = 12;     // size faces are loaded at; resized per use
inline constexpr double kMinimumStrokeUnits = 1.0;    // thinnest line drawn, device units
inline const QList<qreal> kDotPattern = {1.0, 1.0};   // dotted line: dot, gap, in line widths
inline constexpr double kMaxImageSide = 30000;        // largest page image Render makes, pixels
inline constexpr double kFallbackAscent = 0.88;       // of the em, when a face is missing
inline constexpr double kFallbackDescent = 0.12;

}  // namespace re::preview

#endif  // REPORTENGINE_QT_PREVIEW_TEXTS_H_

// Every text the preview window shows and every fixed number it works with, in one place.
#ifndef REPORTENGINE_QT_PREVIEW_TEXTS_H_
#define REPORTENGINE_QT_PREVIEW_TEXTS_H_

#include <QList>

namespace re::preview {

// Window and toolbar (the title and the delay before preparing are the engine's own).
inline constexpr char kActionPrint[] = "Print";
inline constexpr char kActionOpen[] = "Open";
inline constexpr char kActionSave[] = "Save";
inline constexpr char kActionExportPdf[] = "Export to PDF";
inline constexpr char kActionFind[] = "Find";
inline constexpr char kActionZoomIn[] = "Zoom In";
inline constexpr char kActionZoomOut[] = "Zoom Out";
inline constexpr char kActionZoom100[] = "100%";
inline constexpr char kActionPageWidth[] = "Page Width";
inline constexpr char kActionWholePage[] = "Whole Page";
inline constexpr char kActionFullScreen[] = "Full Screen";
inline constexpr char kActionSidePanel[] = "Outline";
inline constexpr char kActionPageSettings[] = "Page Settings";
inline constexpr char kActionFirst[] = "First Page";
inline constexpr char kActionPrior[] = "Prior Page";
inline constexpr char kActionNext[] = "Next Page";
inline constexpr char kActionLast[] = "Last Page";
inline constexpr char kActionClose[] = "Close";
inline constexpr char kPageCountFormat[] = "of %1";        // after the page number field
inline constexpr char kZoomFormat[] = "%1%";                // the zoom shown in the toolbar

// Side panel.
inline constexpr char kTabOutline[] = "Outline";
inline constexpr char kTabThumbnails[] = "Thumbnails";
inline constexpr char kOutlinePageFormat[] = "Page %1";

// Find bar.
inline constexpr char kFindLabel[] = "Find:";
inline constexpr char kFindNext[] = "Next";
inline constexpr char kFindPrevious[] = "Previous";
inline constexpr char kFindHitsFormat[] = "%1 of %2";
inline constexpr char kFindNotFound[] = "Not found";

// File dialogs.
inline constexpr char kOpenCaption[] = "Open";
inline constexpr char kSaveCaption[] = "Save";
inline constexpr char kExportCaption[] = "Export to PDF";
inline constexpr char kPreparedFilterFormat[] = "Prepared report (*%1)";  // %1: the extension
inline constexpr char kPdfFilter[] = "PDF file (*.pdf)";
inline constexpr char kPdfExtension[] = ".pdf";

// Export progress and error box.
inline constexpr char kProgressCaption[] = "Export";
inline constexpr char kProgressFormat[] = "Page %1 of %2";
inline constexpr char kNoPdfExporter[] = "No PDF exporter is available";
inline constexpr char kPrintFailed[] = "The printer could not be opened.";
inline constexpr char kNoDisplayMessage[] =
    "The preview window cannot open: no display is available.";

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
inline constexpr int kPageMarginPx = 10;              // grey space around the shown page
inline constexpr int kThumbnailWidthPx = 100;
inline constexpr int kThumbnailsPerBatch = 8;         // rendered per event-loop turn
inline constexpr int kSidePanelWidthPx = 160;
inline constexpr unsigned kHighlightArgb = 0x80ffd800;        // every hit on the page
inline constexpr unsigned kCurrentHighlightArgb = 0x80ff8000; // the hit moved to

// Drawing.
inline constexpr double kReferencePixelSize = 12;     // size faces are loaded at; resized per use
inline constexpr double kMinimumStrokeUnits = 1.0;    // thinnest line drawn, device units
inline const QList<qreal> kDotPattern = {1.0, 1.0};   // dotted line: dot, gap, in line widths
inline constexpr double kMaxImageSide = 30000;        // largest page image Render makes, pixels
inline constexpr double kFallbackAscent = 0.88;       // of the em, when a face is missing
inline constexpr double kFallbackDescent = 0.12;

}  // namespace re::preview

#endif  // REPORTENGINE_QT_PREVIEW_TEXTS_H_

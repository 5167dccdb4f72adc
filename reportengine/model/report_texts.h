// The report engine's own texts and fixed numbers, in one place.
#ifndef REPORTENGINE_MODEL_REPORT_TEXTS_H_
#define REPORTENGINE_MODEL_REPORT_TEXTS_H_

namespace re {

// The error box.
inline constexpr char kErrorBoxCaption[] = "Error";
inline constexpr char kErrorBoxHeading[] = "The following error(s) have occured:";

// Collected error texts; each names the object (or band) and what it refers to.
inline constexpr char kFieldNotFound[] = "Field not found: ";      // + object ": " + field ref
inline constexpr char kDatasetNotFound[] = "Dataset not found: ";  // + object ": " + binding
inline constexpr char kUnknownExpression[] = "Unknown expression: ";  // + object ": " + [expr]
inline constexpr char kNoPreviewWindow[] = "No preview window is available";
inline constexpr char kExportFailed[] = "Export failed";

// The preview window's title (the templates carry no report name).
inline constexpr char kPreviewTitle[] = "Preview";
// How long the preview window waits after opening before it starts the preparation.
inline constexpr int kPreviewPrepareDelayMs = 50;

// Design resolution of the templates and the text-object defaults, in pixels at that resolution.
inline constexpr float kDesignDpi = 96.0f;
inline constexpr float kTextInsetXPx = 2.0f;  // left and right
inline constexpr float kTextInsetYPx = 1.0f;  // top and bottom

// Design sizes are written to 0.1 mm: text needing at most this much more than its object's
// design height still fits, so a one-line growing cell keeps its design height.
inline constexpr float kDesignRoundingMm = 0.05f;
// Positions closer than this count as equal when deciding what lies below a grown object and
// whether a band still fits above the page footer.
inline constexpr float kPositionToleranceMm = 0.001f;

// A text that cannot grow and would need more lines than its box shows is drawn narrowed, down
// to this fraction of its width; a text that does not fit even so is cut off as it stands.
inline constexpr float kMinTextScale = 0.7f;

}  // namespace re

#endif  // REPORTENGINE_MODEL_REPORT_TEXTS_H_

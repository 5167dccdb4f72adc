// Small pieces the updater's Qt windows share: texts from the run in Qt form, the windows'
// fonts, placing controls at their design pixels, centring a window on its screen, and the
// modal message boxes with one OK button.
#ifndef TOLVAN_QT_SUPPORT_H_
#define TOLVAN_QT_SUPPORT_H_

#include <QFont>
#include <QString>

#include <memory>
#include <string>

#include "tolvan/ui_texts.h"
#include "tolvan/update_ui.h"

class QLabel;
class QMessageBox;
class QWidget;

namespace tolvan {

// `utf8` as a QString whose line breaks are "\n": CR LF and a lone CR (the run's messages
// join their lines with CR alone) each start a new line.
QString ToQString(const std::string& utf8);

// The windows' font (Tahoma, or its stand-in) with the given character height in pixels.
QFont UiFont(int pixels);

// Sets the text of a label with a fixed box (plain text). A text wider than the box is drawn with
// the label's font narrowed just enough to fit (no narrower than kMinTextStretch), where it
// would otherwise be cut off; a text that fits is drawn at full width.
void SetFittedText(QLabel* label, const QString& text);

// Puts `widget` at `box` in its parent's client pixels.
void Place(QWidget* widget, const ui_texts::Box& box);

// Moves the top-level `window` so that its frame is centred on the screen it is on.
void CentreOnScreen(QWidget* window);

// A modal message box over `parent` (may be null) with the kind's icon and caption, the text as
// plain text (never read as markup) and one OK button. `caption` replaces the kind's caption
// when not null. Show it with exec().
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, MessageKind kind,
                                            const std::string& text,
                                            const char* caption = nullptr);

}  // namespace tolvan

#endif  // TOLVAN_QT_SUPPORT_H_

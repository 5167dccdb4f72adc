#include "tolvan/qt_support.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace tolvan {

QString ToQString(const std::string& utf8) {
  QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

QFont UiFont(int pixels) {
  QFont font;
  font.setFamilies(QStringList{QString::fromUtf8(ui_texts::kBaseFontFamily),
                               QString::fromUtf8(ui_texts::kFallbackFontFamily)});
  font.setPixelSize(pixels);
  return font;
}

void SetFittedText(QLabel* label, const QString& text) {
  QFont font = label->font();
  font.setStretch(QFont::Unstretched);
  const int available = label->contentsRect().width();
  int needed = QFontMetrics(font).horizontalAdvance(text);
  if (available > 0 && needed > available) {
    int stretch = std::max(ui_texts::kMinTextStretch, available * 100 / needed);
    font.setStretch(stretch);
    // Glyph advances round per glyph; narrow a little more until the text really fits.
    while (stretch > ui_texts::kMinTextStretch &&
           (needed = QFontMetrics(font).horizontalAdvance(text)) > available) {
      font.setStretch(--stretch);
    }
  }
  label->setFont(font);
  label->setText(text);
}

void Place(QWidget* widget, const ui_texts::Box& box) {
  widget->setGeometry(box.left, box.top, box.width, box.height);
}

void CentreOnScreen(QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, MessageKind kind,
                                            const std::string& text, const char* caption) {
  QMessageBox::Icon icon = QMessageBox::Information;
  const char* kind_caption = ui_texts::kCaptionInformation;
  switch (kind) {
    case MessageKind::kInformation:
      break;
    case MessageKind::kWarning:
      icon = QMessageBox::Warning;
      kind_caption = ui_texts::kCaptionWarning;
      break;
    case MessageKind::kError:
      icon = QMessageBox::Critical;
      kind_caption = ui_texts::kCaptionError;
      break;
  }
  auto box = std::make_unique<QMessageBox>(parent);
  box->setIcon(icon);
  box->setWindowTitle(QString::fromUtf8(caption != nullptr ? caption : kind_caption));
  // Server replies and file names reach these boxes; they are shown as they are.
  box->setTextFormat(Qt::PlainText);
  box->setText(ToQString(text));
  QPushButton* ok = box->addButton(QString::fromUtf8(ui_texts::kOkButton), QMessageBox::AcceptRole);
  box->setDefaultButton(ok);
  box->setEscapeButton(ok);
  return box;
}

}  // namespace tolvan

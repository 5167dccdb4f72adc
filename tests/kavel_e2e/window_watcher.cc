// Watches the real Kavel program's windows in the display-path tests: loaded into it with
// LD_PRELOAD, it says on standard output that the Qt application has started ("qt: started")
// and, once the preview window shows its prepared pages, what the window shows ("preview:
// <title> <page counter>"); then it closes the preview with the Esc key, as a user would. The
// program itself is the one users run; nothing in it knows about this.
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QVariant>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int kPollMs = 20;
constexpr int kGiveUpMs = 60000;  // the preview is closed then anyway, and the test fails

void Say(const QString& line) {
  std::printf("%s\n", qUtf8Printable(line));
  std::fflush(stdout);
}

// The preview's page counter ("/ 3 ページ") once pages are prepared; empty before.
QString PageCounter(QWidget* window) {
  for (QLabel* label : window->findChildren<QLabel*>()) {
    const QString text = label->text();
    if (text.startsWith(QStringLiteral("/ ")) && !text.startsWith(QStringLiteral("/ 0 "))) {
      return text;
    }
  }
  return {};
}

void CloseWhenPrepared(QPointer<QWidget> window, int waited) {
  if (window == nullptr) return;
  const QString pages = PageCounter(window);
  if (pages.isEmpty() && waited < kGiveUpMs) {
    QTimer::singleShot(kPollMs, [window, waited] { CloseWhenPrepared(window, waited + kPollMs); });
    return;
  }
  Say(QStringLiteral("preview: ") + window->windowTitle() + QLatin1Char(' ') + pages);
  QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
}

class PreviewWatcher : public QObject {
 public:
  static constexpr char kWatched[] = "kavelTestWatched";

  using QObject::QObject;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    // A window shown again (maximised, say) is already being watched.
    if (event->type() == QEvent::Show && object->inherits("re::PreviewWindow") &&
        !object->property(kWatched).toBool()) {
      object->setProperty(kWatched, true);
      CloseWhenPrepared(static_cast<QWidget*>(object), 0);
    }
    return false;
  }
};

void Install() {
  Say(QStringLiteral("qt: started"));
  QCoreApplication::instance()->installEventFilter(new PreviewWatcher(QCoreApplication::instance()));
}

// Runs once the program has made its application object.
const bool installed = [] {
  qAddPreRoutine(&Install);
  return true;
}();

}  // namespace

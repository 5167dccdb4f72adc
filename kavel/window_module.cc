// The entry point of kavel_window.so, the part of Kavel that uses Qt.
#include <QCoreApplication>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <string>
#include <type_traits>

#include "common/texts.h"
#include "kavel/texts.h"
#include "kavel/window_run.h"

namespace {

// True when one of Qt's plugin folders holds one of these platform plugins.
bool HasPlatformPlugin(std::initializer_list<const char*> files) {
  for (const QString& folder : QCoreApplication::libraryPaths()) {
    for (const char* file : files) {
      if (QFileInfo::exists(folder + QStringLiteral("/platforms/") + QString::fromUtf8(file))) {
        return true;
      }
    }
  }
  return false;
}

// The platform Qt must use: one whose server answered and whose plugin is installed; empty when
// there is none. A platform the user named other than these two (offscreen, vnc...) is kept.
std::string ChoosePlatform(bool wayland, bool x11) {
  const char* named = std::getenv("QT_QPA_PLATFORM");
  if (named != nullptr && *named != '\0') {
    const std::string platform = named;
    if (!platform.starts_with(common::texts::kQtPlatformWayland) &&
        !platform.starts_with(common::texts::kQtPlatformX11)) {
      return platform;
    }
  }
  if (wayland && HasPlatformPlugin({kavel::kQtWaylandPlugin, kavel::kQtWaylandEglPlugin})) {
    return common::texts::kQtPlatformWayland;
  }
  if (x11 && HasPlatformPlugin({kavel::kQtX11Plugin})) return common::texts::kQtPlatformX11;
  return {};
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool KavelRunWithWindow(
    int argc, char** argv, const kavel::WindowRunContext* context, bool wayland, bool x11) {
  const std::string platform = ChoosePlatform(wayland, x11);
  if (platform.empty()) return false;
  ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  kavel::RunWithWindow(argc, argv, *context);
  return true;
}

// The program looks the entry up by this name and calls it through this type; a mismatch would
// silently disable the windows.
static_assert(sizeof(kavel::kWindowEntryName) == sizeof("KavelRunWithWindow"));
static_assert(std::is_same_v<decltype(&KavelRunWithWindow), kavel::WindowEntry>);

// Database paths written by a Windows program. Under Wine the main application starts Kavel
// with the path as it knows it ("C:\Norvik\Data.Rpt"); the file lies where the Wine prefix's
// drive link for C: leads. Windows names are found without regard to case, as Windows does.
#ifndef KAVEL_WINDOWS_PATH_H_
#define KAVEL_WINDOWS_PATH_H_

#include <optional>
#include <string>

namespace kavel {

// How a database argument names its file.
enum class PathForm {
  kUnix,         // anything not below: used as it is
  kDrive,        // "C:\..." or "C:/..." (any mix of separators after the colon)
  kUnsupported,  // UNC ("\\server\share\...") and the "\\?\" and "\\.\" device forms
};
PathForm ClassifyPath(const std::string& path);

// The Wine prefix: WINEPREFIX when set and not empty, else ".wine" in the home folder. No
// trailing "/".
std::string WinePrefix();

// The Unix path of `path`. A Unix path comes back unchanged. A drive path is resolved through
// `prefix`/dosdevices/<drive letter>: and then component by component: a component that exists
// as written is taken, else the one entry of the folder equal to it without regard to case
// (ASCII, Latin-1, Greek, Cyrillic and full-width Latin letters); "." and ".." steps and
// repeated separators are taken as Windows takes them. A component that matches nothing is kept
// as written, so that opening the path fails as for any missing file. nullopt for the forms
// that are not mapped and for a drive the prefix has no link for.
std::optional<std::string> MapWindowsPath(const std::string& path, const std::string& prefix);

}  // namespace kavel

#endif  // KAVEL_WINDOWS_PATH_H_

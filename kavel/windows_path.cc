#include "kavel/windows_path.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "kavel/texts.h"

namespace kavel {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Decodes one UTF-8 sequence at `at` (advancing it); an invalid byte stands for itself.
char32_t NextCodePoint(const std::string& s, size_t& at) {
  const unsigned char lead = static_cast<unsigned char>(s[at]);
  int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                                          : (lead >> 3) == 0x1E ? 4 : 0;
  if (length <= 1 || at + length > s.size()) {
    ++at;
    return lead;
  }
  char32_t c = lead & (0xFF >> (length + 1));
  for (int i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(s[at + i]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return lead;
    }
    c = (c << 6) | (next & 0x3F);
  }
  at += length;
  return c;
}

// Upper case for the letters a Windows file name is likely to hold.
char32_t Upper(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;        // Latin-1
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;     // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;                   // Cyrillic а-я
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;                   // Cyrillic ѐ-џ
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;                 // full-width a-z
  return c;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (Upper(NextCodePoint(a, i)) != Upper(NextCodePoint(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

// The entry of `folder` that `name` names: itself when it exists, else the first entry equal
// to it without regard to case (in the folder's order), else `name` unchanged.
std::string FindEntry(const std::string& folder, const std::string& name) {
  struct stat st {};
  if (::lstat((folder + name).c_str(), &st) == 0) return name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return name;
  std::string found = name;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string candidate = entry->d_name;
    if (candidate != "." && candidate != ".." && EqualIgnoringCase(candidate, name)) {
      found = candidate;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

PathForm ClassifyPath(const std::string& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // "//x" is a Unix path too; only the backslash forms come from Windows programs.
    return path[0] == '\\' || path[1] == '\\' ? PathForm::kUnsupported : PathForm::kUnix;
  }
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) {
    return PathForm::kDrive;
  }
  return PathForm::kUnix;
}

std::string WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') {
    std::string path = prefix;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  }
  const char* home = std::getenv("HOME");
  std::string folder = home != nullptr ? home : "";
  if (folder.empty()) {
    if (const passwd* user = ::getpwuid(::getuid())) folder = user->pw_dir;
  }
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  return folder + "/" + kWineDefaultPrefix;
}

std::optional<std::string> MapWindowsPath(const std::string& path, const std::string& prefix) {
  switch (ClassifyPath(path)) {
    case PathForm::kUnix:
      return path;
    case PathForm::kUnsupported:
      return std::nullopt;
    case PathForm::kDrive:
      break;
  }
  const char drive = static_cast<char>(path[0] | 0x20);  // the links are named in lower case
  std::string unix_path = prefix + "/" + kWineDriveFolder + "/" + drive + ":/";
  struct stat st {};
  if (::stat(unix_path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;

  std::vector<std::string> components;
  size_t begin = 3;
  while (begin <= path.size()) {
    size_t end = begin;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string component = path.substr(begin, end - begin);
    if (component == "..") {
      if (!components.empty()) components.pop_back();  // never above the drive's root
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    begin = end + 1;
  }
  for (size_t i = 0; i < components.size(); ++i) {
    unix_path += FindEntry(unix_path, components[i]);
    if (i + 1 < components.size()) unix_path += "/";
  }
  return unix_path;
}

}  // namespace kavel

#include "tolvan/installed_pair.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/pending_file.h"

namespace tolvan {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Puts the kept file back under its own name. Renaming a name onto another name of the same
// file does nothing, so the kept name is removed afterwards in any case.
bool PutBack(const std::string& kept, const std::string& path) {
  const bool ok = ::rename(kept.c_str(), path.c_str()) == 0;
  ::unlink(kept.c_str());
  return ok;
}

}  // namespace

InstalledPair::InstalledPair(std::string folder, std::string first, std::string second)
    : folder_(std::move(folder)), first_(std::move(first)), second_(std::move(second)) {}

std::string InstalledPair::KeptName(const std::string& name) { return "." + name + ".previous"; }

bool InstalledPair::Keep() {
  ::unlink(KeptPath(first_).c_str());
  ::unlink(KeptPath(second_).c_str());
  if (Exists(Path(second_)) && ::link(Path(second_).c_str(), KeptPath(second_).c_str()) != 0) {
    return false;
  }
  first_existed_ = Exists(Path(first_));
  if (first_existed_ && ::link(Path(first_).c_str(), KeptPath(first_).c_str()) != 0) {
    ::unlink(KeptPath(second_).c_str());
    first_existed_ = false;
    return false;
  }
  common::SyncFolder(folder_);
  kept_ = true;
  return true;
}

void InstalledPair::Commit() {
  ::unlink(KeptPath(first_).c_str());  // the mark goes first: from here on the pair is new
  common::SyncFolder(folder_);
  ::unlink(KeptPath(second_).c_str());
}

bool InstalledPair::RestoreFirst() {
  if (!kept_) return false;  // nothing was kept to go back to
  bool ok = true;
  if (first_existed_) {
    ok = PutBack(KeptPath(first_), Path(first_));
  } else {
    ok = ::unlink(Path(first_).c_str()) == 0 || errno == ENOENT;
  }
  common::SyncFolder(folder_);
  ::unlink(KeptPath(second_).c_str());
  return ok;
}

void InstalledPair::Drop() {
  ::unlink(KeptPath(first_).c_str());
  ::unlink(KeptPath(second_).c_str());
}

std::vector<std::string> InstalledPair::RestoreInterruptedUpdate(const std::string& folder,
                                                                 const std::string& first,
                                                                 const std::string& second) {
  std::vector<std::string> restored;
  const std::string mark = folder + KeptName(first);
  const std::string kept_second = folder + KeptName(second);
  if (Exists(mark)) {
    if (PutBack(mark, folder + first)) restored.push_back(first);
    if (Exists(kept_second) && PutBack(kept_second, folder + second)) restored.push_back(second);
    common::SyncFolder(folder);
  }
  ::unlink(kept_second.c_str());
  return restored;
}

}  // namespace tolvan

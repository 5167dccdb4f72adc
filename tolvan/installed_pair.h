// Choice 3 replaces two files, MST.FDB and Norvik.exe, that belong together. InstalledPair
// keeps the installed pair reachable under hidden names (hard links, so no data is copied and
// no space is needed) until both new files are in place, so the program folder ends up with
// either both old or both new files: in the run itself when the second copy fails, and on the
// next start (RestoreInterruptedUpdate) when the run was killed in between.
//
// The hidden name of MST.FDB is the mark of an update in progress: it is made last and removed
// first. While it exists the pair is not complete, and a restore brings back both old files.
#ifndef TOLVAN_INSTALLED_PAIR_H_
#define TOLVAN_INSTALLED_PAIR_H_

#include <string>
#include <vector>

namespace tolvan {

class InstalledPair {
 public:
  // `folder` ends with "/"; `first` is copied first (and carries the mark), then `second`.
  InstalledPair(std::string folder, std::string first, std::string second);

  // Keeps the installed files under their hidden names. False when that was not possible
  // (a file system without hard links); the copies may go ahead, without the undo.
  bool Keep();

  // Both new files are in: drops the kept old ones.
  void Commit();

  // The second copy failed after the first succeeded: brings the first file back as it was
  // (or removes it when there was none before). True when the old file is back; false also
  // when Keep() had failed, which leaves the new first file in place.
  bool RestoreFirst();

  // The first copy failed: nothing to undo; drops the kept names.
  void Drop();

  // The hidden name under which `name` is kept.
  static std::string KeptName(const std::string& name);

  // At start: when a run was killed between the two copies, brings back both kept files and
  // returns their names; drops a kept name that is no longer needed. Never throws.
  static std::vector<std::string> RestoreInterruptedUpdate(const std::string& folder,
                                                           const std::string& first,
                                                           const std::string& second);

 private:
  std::string Path(const std::string& name) const { return folder_ + name; }
  std::string KeptPath(const std::string& name) const { return folder_ + KeptName(name); }

  std::string folder_;
  std::string first_;
  std::string second_;
  bool kept_ = false;           // Keep() succeeded
  bool first_existed_ = false;  // there was a `first` to keep
};

}  // namespace tolvan

#endif  // TOLVAN_INSTALLED_PAIR_H_

// A file written beside the file it will replace, which takes the target's place only once it
// is complete. Where the file system allows, the file has no name at all until then (Linux
// O_TMPFILE), so a process killed while writing it leaves nothing behind. Elsewhere it has a
// hidden name of one fixed pattern (".<target name>.tmp-<digits>"), locked for as long as it is
// written; RemoveStaleTemporaries finds such leftovers on a later run of either program.
//
// After the rename into place the folder is synced as well, so that a power cut after a
// replacement cannot bring the old file back.
//
// A folder that takes no new file (no write permission, a read-only mount) can still hold a
// writable target. A writer that asks for it (ClosedFolder::kOverwriteInPlace) then gathers the
// bytes in an unnamed file in the system's temporary folder and copies them over the target's
// contents at Commit, after room for them has been reserved, so the target is touched only once
// the whole content is there.
#ifndef COMMON_PENDING_FILE_H_
#define COMMON_PENDING_FILE_H_

#include <sys/types.h>

#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace common {

// What a file is; decides the permission bits of a file that did not exist before: the usual
// 0666 for data and 0777 for programs, less the user's umask.
enum class FileKind { kData, kProgram };

// How the file is held in the target's folder while it is written.
enum class TemporaryName {
  kNoneWherePossible,  // unnamed where the file system allows, else the hidden name
  kAlwaysHidden,       // the hidden name, as on a file system without unnamed files
};

// What Create does when the target's folder takes no new file.
enum class ClosedFolder {
  kFail,              // fails with the folder's error
  kOverwriteInPlace,  // an existing target is overwritten in place at Commit (see above)
};

struct PendingFileOptions {
  FileKind kind = FileKind::kData;
  TemporaryName temporary = TemporaryName::kNoneWherePossible;
  ClosedFolder closed_folder = ClosedFolder::kFail;
};

// The step of Commit that failed.
enum class CommitStep {
  kNone,
  kSave,        // making the content durable or giving it a name; the target is untouched
  kReplace,     // putting it in the target's place; the target is untouched, unless an
                // overwrite in place failed part way
  kSyncFolder,  // only the final folder sync: the target has been replaced
};

class PendingFile {
 public:
  PendingFile() = default;
  // Discards a file that was not committed.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the file in the folder of `target`. Returns false on failure (see error()).
  bool Create(const std::string& target, FileKind kind) {
    return Create(target, PendingFileOptions{kind});
  }
  bool Create(const std::string& target, const PendingFileOptions& options);

  // The descriptor to write to (open for reading and writing); -1 before Create.
  int fd() const { return fd_.get(); }

  // Writes all of `bytes` at the current offset. Returns false on failure (see error()); the
  // file is then still to be discarded or committed by the caller.
  bool Write(std::string_view bytes);

  // True when the bytes are staged elsewhere for an overwrite of the target in place.
  bool in_place() const { return in_place_; }

  // Makes the content durable, gives it the permission bits `mode` (unless negative), puts it
  // in the target's place (replacing a file there) and syncs the folder. Returns false on
  // failure (see error() and failed_step()); the file is then discarded. An overwrite in place
  // copies the content over the target instead, which keeps its permission bits.
  bool Commit(int mode = -1);

  // The errno value of the last failure.
  int error() const { return error_; }
  // The step of the last Commit that failed; kNone after a successful one.
  CommitStep failed_step() const { return failed_step_; }

  // Drops the file; the target is untouched.
  void Discard();

 private:
  bool OpenStaging();
  bool OverwriteTarget();

  std::string target_;     // the file to be replaced
  std::string named_;      // the hidden name while one exists, else empty
  bool in_place_ = false;  // fd_ stages the bytes elsewhere, for an overwrite in place
  UniqueFd fd_;            // the file, locked (flock) while written
  UniqueFd folder_fd_;     // the target's folder
  int error_ = 0;          // errno of the last failure
  CommitStep failed_step_ = CommitStep::kNone;  // where the last Commit failed
};

// The folder part of `path` with its trailing "/"; "./" for a bare name.
std::string FolderOf(const std::string& path);

// A hidden name of the temporaries' fixed pattern beside `target`, unique in this process.
std::string TemporaryNameBeside(const std::string& target);

// True for a name of the temporaries' fixed pattern (also those of earlier versions).
bool IsTemporaryName(const std::string& name);

// Removes from `folder` the temporaries of the fixed pattern that are older than this process
// and that no live process is writing (they are locked while written). Returns how many it
// removed. Never throws.
int RemoveStaleTemporaries(const std::string& folder);

// RemoveStaleTemporaries for every folder of the program folder `folder` (ending with "/") that
// files are replaced in: the program folder itself, "DownLoad/", "BKData/" and "BKData/PGM/".
// Also removes a "user.ini.lock" left by earlier versions when nobody holds it. Both programs
// call this once at start. Never throws.
void RemoveStaleTemporariesOfProgramFolder(const std::string& folder);

// fsync of a folder, so that renames in it are on disk. Returns false when it fails.
bool SyncFolder(const std::string& folder);

}  // namespace common

#endif  // COMMON_PENDING_FILE_H_

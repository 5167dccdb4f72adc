// A file written beside the file it will replace, which takes the target's place only once it
// is complete. Where the file system allows, the file has no name at all until then (Linux
// O_TMPFILE), so a process killed while writing it leaves nothing behind. Elsewhere it has a
// hidden name of one fixed pattern (".<target name>.tmp-<digits>"), locked for as long as it is
// written; RemoveStaleTemporaries finds such leftovers on a later run of either program.
//
// After the rename into place the folder is synced as well, so that a power cut after a
// replacement cannot bring the old file back.
#ifndef COMMON_PENDING_FILE_H_
#define COMMON_PENDING_FILE_H_

#include <sys/types.h>

#include <string>

namespace common {

// What a file is; decides the permission bits of a file that did not exist before: the usual
// 0666 for data and 0777 for programs, less the user's umask.
enum class FileKind { kData, kProgram };

class PendingFile {
 public:
  PendingFile() = default;
  // Discards a file that was not committed.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the file in the folder of `target`. Returns false on failure (see error()).
  bool Create(const std::string& target, FileKind kind);

  // The descriptor to write to (open for reading and writing); -1 before Create.
  int fd() const { return fd_; }

  // Makes the content durable, gives it the permission bits `mode` (unless negative), puts it
  // in the target's place (replacing a file there) and syncs the folder. Returns false on
  // failure (see error()); the target is then untouched and the file discarded, except when
  // only the final folder sync failed.
  bool Commit(int mode = -1);

  // The errno value of the last failure.
  int error() const { return error_; }

  // Drops the file; the target is untouched.
  void Discard();

 private:
  std::string target_;  // the file to be replaced
  std::string named_;   // the hidden name while one exists, else empty
  int fd_ = -1;         // the file, locked (flock) while written
  int folder_fd_ = -1;  // the target's folder
  int error_ = 0;       // errno of the last failure
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

// Makes PendingFile use the hidden-name way as on a file system without unnamed files, until
// called with false. For unit tests only; the programs never call it.
void UseNamedTemporariesForTesting(bool named);

// fsync of a folder, so that renames in it are on disk. Returns false when it fails.
bool SyncFolder(const std::string& folder);

}  // namespace common

#endif  // COMMON_PENDING_FILE_H_

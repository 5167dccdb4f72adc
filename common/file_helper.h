// File and folder queries and the replace-by-rename file operations both programs rely on.
#ifndef COMMON_FILE_HELPER_H_
#define COMMON_FILE_HELPER_H_

#include <cstdint>
#include <string>

#include "common/pending_file.h"

namespace common {

struct TFileHelper {
  // A regular file's size in bytes; -1 for a folder, a missing name or a failed lookup.
  static int64_t GetSize(const std::string& iFileName);
};

bool FileExists(const std::string& path);       // true only for an existing non-folder
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);        // one level; true when created

// Copies `from` over `to` as the platform's file copy does, through a PendingFile: no reader
// ever sees a half-written `to`, and a process killed while copying leaves nothing behind.
// A `to` that exists keeps its permission bits; a new one gets those of a new file of `kind`.
// Like the platform's copy it refuses a read-only target: one without any write permission bit
// (also for root) or that this user may not write. On failure `to` is untouched, no temporary
// file remains, false is returned and `error` (when given) says why, in words for the user.
bool CopyFileAtomic(const std::string& from, const std::string& to,
                    FileKind kind = FileKind::kData, std::string* error = nullptr);

}  // namespace common

#endif  // COMMON_FILE_HELPER_H_

// File and folder queries and the replace-by-rename file operations both programs rely on.
#ifndef COMMON_FILE_HELPER_H_
#define COMMON_FILE_HELPER_H_

#include <cstdint>
#include <string>

namespace common {

struct TFileHelper {
  // A regular file's size in bytes; -1 for a folder, a missing name or a failed lookup.
  static int64_t GetSize(const std::string& iFileName);
};

bool FileExists(const std::string& path);       // true only for an existing non-folder
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);        // one level; true when created

// Copies `from` over `to` through a temporary file in `to`'s folder that is flushed and renamed
// over the target, so no reader ever sees a half-written `to`. On failure `to` is untouched, no
// temporary file remains, and false is returned.
bool CopyFileAtomic(const std::string& from, const std::string& to);

// A temporary name in the folder of `target`, unique to this process and call.
std::string TemporaryNameBeside(const std::string& target);

}  // namespace common

#endif  // COMMON_FILE_HELPER_H_

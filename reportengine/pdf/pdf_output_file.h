// The file a PDF export writes: a buffer in front of a common::PendingFile. The bytes go to a
// file in the target's folder that has no name until the very end, when it is flushed to disk
// and renamed over the target in one step. Until Commit() succeeds the target is never touched,
// and an export that fails, or a process that is killed, leaves no half-written file behind.
//
// A folder that allows no new file (no write permission, a read-only mount) can still hold a
// writable target; then the pending file overwrites it in place at Commit(), once the whole
// document is there.
#ifndef REPORTENGINE_PDF_PDF_OUTPUT_FILE_H_
#define REPORTENGINE_PDF_PDF_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/pending_file.h"

namespace re::pdf {

class OutputFile {
 public:
  OutputFile();
  ~OutputFile();  // abandons the file unless Commit() succeeded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to replace `target`. Fails, with a text for the error box in *error, when the
  // target's folder is missing, when it is not writable and the target does not exist yet, or
  // when the target exists and is not a writable regular file (a read-only file is left alone).
  bool Open(const std::string& target, std::string* error);

  // Buffered; a failed write (disk full) is remembered and reported by Commit().
  void Write(std::string_view bytes);
  uint64_t Offset() const { return offset_; }
  bool failed() const { return !error_.empty(); }

  // Flushes, syncs and renames the file over the target (or, in a folder that allows no new
  // file, copies it over the target's contents). Returns false, with the reason in *error, when
  // anything failed; then no temporary file remains, and the target is as it was unless the
  // copy over its contents failed part way.
  bool Commit(std::string* error);

  // Makes every write after `bytes` bytes fail as on a full disk.
  void SimulateDiskFullAfter(uint64_t bytes) { fail_after_ = bytes; }

 private:
  void Flush();
  void Abandon();
  void Fail(const std::string& what, int error_number);

  std::string target_;            // the path being replaced
  common::PendingFile file_;      // where the bytes go until they replace the target
  std::string buffer_;            // bytes not yet written
  uint64_t offset_ = 0;           // bytes handed to Write() so far
  uint64_t written_ = 0;          // bytes that reached the file
  uint64_t fail_after_ = UINT64_MAX;  // simulated disk capacity
  std::string error_;             // the first failure, empty while all is well
};

}  // namespace re::pdf

#endif  // REPORTENGINE_PDF_PDF_OUTPUT_FILE_H_

#include "reportengine/pdf/pdf_output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "reportengine/pdf/pdf_texts.h"

namespace re::pdf {
namespace {

std::string Reason(int error_number) { return std::strerror(error_number); }

// An existing target must be a regular file that its owner may write: a file marked read-only
// is one the user wants kept, even where the rename would be allowed (as for root).
bool CheckTarget(const std::string& target, std::string* error) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    *error = kErrCannotCreate + target + ": " + Reason(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = kErrNotAFile + target;
    return false;
  }
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0) {
    *error = kErrReadOnly + target;
    return false;
  }
  return true;
}

}  // namespace

OutputFile::OutputFile() { buffer_.reserve(kWriteBufferBytes); }

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& target, std::string* error) {
  Abandon();
  error_.clear();
  offset_ = written_ = 0;
  target_ = target;
  if (target.empty()) {
    *error = kErrNoFileName;
    return false;
  }
  if (!CheckTarget(target, error)) return false;
  // A folder that refuses a new file still lets an existing writable target be replaced (in
  // place), as the user expects of a file that is "replaced without asking".
  common::PendingFileOptions options;
  options.closed_folder = common::ClosedFolder::kOverwriteInPlace;
  if (!file_.Create(target, options)) {
    *error = kErrCannotCreate + target + ": " + Reason(file_.error());
    return false;
  }
  return true;
}

void OutputFile::Write(std::string_view bytes) {
  offset_ += bytes.size();
  if (failed()) return;
  buffer_.append(bytes);
  if (buffer_.size() >= kWriteBufferBytes) Flush();
}

void OutputFile::Fail(const std::string& what, int error_number) {
  if (!failed()) error_ = what + target_ + ": " + Reason(error_number);
}

void OutputFile::Flush() {
  if (failed() || file_.fd() < 0) {
    buffer_.clear();
    return;
  }
  std::string_view rest = buffer_;
  if (written_ + rest.size() > fail_after_) {
    // The simulated disk takes what fits and then is full.
    rest = rest.substr(0, fail_after_ > written_ ? static_cast<size_t>(fail_after_ - written_) : 0);
  }
  if (!file_.Write(rest)) {
    Fail(kErrCannotWrite, file_.error());
  } else {
    written_ += rest.size();
    if (rest.size() < buffer_.size()) Fail(kErrCannotWrite, ENOSPC);
  }
  buffer_.clear();
}

bool OutputFile::Commit(std::string* error) {
  Flush();
  // The user may have marked the old file read-only while the pages were written.
  std::string target_error;
  if (!failed() && !CheckTarget(target_, &target_error)) error_ = target_error;
  if (!failed() && !file_.Commit()) {
    switch (file_.failed_step()) {
      case common::CommitStep::kSyncFolder:
        break;  // the document is in place; only its directory entry may not be durable yet
      case common::CommitStep::kReplace:
        Fail(kErrCannotReplace, file_.error());
        break;
      default:
        Fail(kErrCannotWrite, file_.error());
    }
  }
  Abandon();
  if (failed()) {
    *error = error_;
    return false;
  }
  return true;
}

void OutputFile::Abandon() {
  file_.Discard();
  buffer_.clear();
}

}  // namespace re::pdf

// Activity logs (Pdf.log, Update.log, backup.log): one time-stamped CP932 line per call.
#ifndef COMMON_ACTIVITY_LOG_H_
#define COMMON_ACTIVITY_LOG_H_

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/regional_format.h"

namespace common {

// An input/output error: a file that could not be opened, created, written or closed.
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends "<date> <time> <pstLog>\r\n" to `pstFile`, creating the file when missing (never its
// folder). Throws IoError when the line cannot be written.
void WrtLog(const std::string& pstFile, std::string_view pstLog);

// WrtLog with the time of the entry given instead of read from the clock.
void WrtLogAt(const std::string& pstFile, std::string_view pstLog, const LocalDateTime& when);

// The line WrtLog writes for `when`, in UTF-8, ending with "\r\n": the date and time (the date
// alone at exactly midnight), one blank, the text unchanged.
std::string FormatLogLine(const LocalDateTime& when, std::string_view text);

}  // namespace common

#endif  // COMMON_ACTIVITY_LOG_H_

// Activity logs (Pdf.log, Update.log, backup.log): one time-stamped CP932 line per call.
#ifndef COMMON_ACTIVITY_LOG_H_
#define COMMON_ACTIVITY_LOG_H_

#include <stdexcept>
#include <string>
#include <string_view>

namespace common {

// An input/output error: a file that could not be opened, created, written or closed.
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends "<date> <time> <pstLog>\r\n" to `pstFile`, creating the file when missing (never its
// folder). Throws IoError when the line cannot be written.
void WrtLog(const std::string& pstFile, std::string_view pstLog);

}  // namespace common

#endif  // COMMON_ACTIVITY_LOG_H_

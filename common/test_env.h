// The context tests hand to a flow: a fresh program folder under the system's temporary folder
// (removed afterwards), a clock that stands still until the test moves it, and a free-space
// figure the test chooses. user.ini and the logs are real files in that folder. For tests only.
#ifndef COMMON_TEST_ENV_H_
#define COMMON_TEST_ENV_H_

#include <cstdint>
#include <optional>
#include <string>

#include "common/env.h"
#include "common/temp_folder_for_testing.h"

namespace common {

// Holds the folder so that it exists before SystemEnv is given its path (bases are built first).
struct TestEnvFolder {
  TempFolderForTesting folder_holder_;
};

class TestEnv : private TestEnvFolder, public SystemEnv {
 public:
  TestEnv() : SystemEnv(folder_holder_.path()) {}

  const TempFolderForTesting& folder() const { return folder_holder_; }

  // The time Now() answers; starts at 2024/05/01 9:30:05.
  void set_now(const LocalDateTime& now) { now_ = now; }
  LocalDateTime Now() override {
    ++clock_reads_;
    return now_;
  }
  int clock_reads() const { return clock_reads_; }

  // The free space AvailableDiskSpace answers for any folder; unset asks the real file system.
  void set_available_disk_space(std::optional<uint64_t> bytes) { free_bytes_ = bytes; }
  uint64_t AvailableDiskSpace(const std::string& folder) override {
    return free_bytes_ ? *free_bytes_ : SystemEnv::AvailableDiskSpace(folder);
  }

 private:
  LocalDateTime now_{2024, 5, 1, 9, 30, 5, 0};
  int clock_reads_ = 0;
  std::optional<uint64_t> free_bytes_;
};

}  // namespace common

#endif  // COMMON_TEST_ENV_H_

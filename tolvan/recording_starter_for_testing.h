// A ProgramStarter that records the starts asked for instead of making them, and answers
// with the outcome a test sets. Safe to use from the run's worker thread and the window's
// thread at once. For tests only.
#ifndef TOLVAN_RECORDING_STARTER_FOR_TESTING_H_
#define TOLVAN_RECORDING_STARTER_FOR_TESTING_H_

#include <mutex>
#include <string>
#include <vector>

#include "tolvan/program_starter.h"

namespace tolvan {

class RecordingStarter final : public ProgramStarter {
 public:
  bool Open(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(path);
    return open_ok_;
  }
  bool RunAs(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ran_as_.push_back(path);
    return run_as_ok_;
  }

  // The paths given to Open and to RunAs so far, in order.
  std::vector<std::string> opened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }
  std::vector<std::string> ran_as() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ran_as_;
  }

  // What Open and RunAs answer from now on; both start as true (started).
  void set_open_ok(bool ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ok_ = ok;
  }
  void set_run_as_ok(bool ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    run_as_ok_ = ok;
  }

  // Forgets the starts and answers true again, for the next window.
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.clear();
    ran_as_.clear();
    open_ok_ = run_as_ok_ = true;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> opened_;
  std::vector<std::string> ran_as_;
  bool open_ok_ = true;
  bool run_as_ok_ = true;
};

}  // namespace tolvan

#endif  // TOLVAN_RECORDING_STARTER_FOR_TESTING_H_

// Helpers shared by the fuzz targets. A target is one LLVMFuzzerTestOneInput; the same source
// is linked into libFuzzer in the fuzz build and into the regression replay test in the
// ordinary build, so every saved crash input goes through exactly the code that found it.
#ifndef TESTS_FUZZ_FUZZ_SUPPORT_H_
#define TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "common/temp_folder_for_testing.h"

// A property the code under test must keep for every input. Aborts, so libFuzzer saves the
// input and the replay test fails.
#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

namespace fuzz {

inline std::string_view Bytes(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// One scratch folder per process, made on first use and removed at exit. Targets that need
// files write them here anew for every input.
inline const common::TempFolderForTesting& Scratch() {
  static const auto* folder = new common::TempFolderForTesting();
  static const bool registered = [] {
    std::atexit([] { delete folder; });
    return true;
  }();
  (void)registered;
  return *folder;
}

}  // namespace fuzz

#endif  // TESTS_FUZZ_FUZZ_SUPPORT_H_

// Program files whose version resource the updater reads: downloaded or installed, possibly
// truncated or not a program at all.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/version_info.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string version = common::FileVersionOfImage(fuzz::Bytes(data, size));
  // The text comes from a bounded resource: never longer than the image it was read from
  // (UTF-16 to UTF-8 grows by at most half).
  FUZZ_CHECK(version.size() <= size + size / 2);
  return 0;
}

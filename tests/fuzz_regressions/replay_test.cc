// Runs every committed input of one fuzz target through its entry point: the seed corpus in
// tests/fuzz/corpus/<target>/ and the inputs that once crashed it in
// tests/fuzz_regressions/inputs/<target>/. A property failure aborts the test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void ReplayFolder(const fs::path& folder) {
  const std::vector<fs::path> files = FilesIn(folder);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(in.good() || in.eof());
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

const fs::path kSource = PROJECT_SOURCE_DIR;

TEST(FUZZ_SUITE, SeedCorpus) {
  ReplayFolder(kSource / "tests/fuzz/corpus" / FUZZ_TARGET_NAME);
}

TEST(FUZZ_SUITE, CrashInputs) {
  ReplayFolder(kSource / "tests/fuzz_regressions/inputs" / FUZZ_TARGET_NAME);
}

// A few inputs every reader must survive, whatever the target.
TEST(FUZZ_SUITE, DegenerateInputs) {
  const std::vector<std::string> inputs = {
      "", std::string(1, '\0'), "\xff\xfe", "\xef\xbb\xbf", std::string(4096, '\0'),
      std::string(70000, '['), "\xff\xfe\x0d", "MZ"};
  for (const std::string& bytes : inputs) {
    SCOPED_TRACE(bytes.size());
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

}  // namespace

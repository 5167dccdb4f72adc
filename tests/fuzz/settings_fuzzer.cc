// user.ini as the main application may leave it: CP932 or UTF-16LE with a byte-order mark,
// any line endings, any damage. Every read must return, and a write must change only its own
// key: afterwards that key reads back as written and the other keys read as before.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/program_folder.h"
#include "common/settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Key {
  const char* section;
  const char* key;
};

constexpr Key kKeys[] = {
    {"PARAM", "DBVERSION"}, {"PARAM", "NOUPD"}, {"PARAM", "NVKMST"}, {"UPD", "TIME"},
    {"UPD", "Download"},    {"CALL", "STATUS"}, {"EXPAND", "STAUS"}, {"param", "pdfflg"},
};

constexpr char kWrittenValue[] = "更新済 1";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& scratch = fuzz::Scratch();
  common::OverrideProgramFolderForTesting(scratch.path());
  scratch.Write("user.ini", fuzz::Bytes(data, size));

  std::string before[std::size(kKeys)];
  for (size_t i = 0; i < std::size(kKeys); ++i) {
    before[i] = common::IFReadIniStr(kKeys[i].section, kKeys[i].key, "<none>");
  }

  common::IFWriteIniStr("PARAM", "NOUPD", kWrittenValue);
  for (size_t i = 0; i < std::size(kKeys); ++i) {
    const std::string after = common::IFReadIniStr(kKeys[i].section, kKeys[i].key, "<none>");
    if (std::string_view(kKeys[i].key) == "NOUPD") {
      FUZZ_CHECK(after == kWrittenValue);
    } else {
      FUZZ_CHECK(after == before[i]);
    }
  }
  return 0;
}

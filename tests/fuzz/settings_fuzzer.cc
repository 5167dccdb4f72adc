// user.ini as the main application may leave it: CP932 or UTF-16LE with a byte-order mark,
// any line endings, any damage. Every read must return, and a write must change only its own
// key: afterwards that key reads back as written and the other keys read as before. The
// profile text is worked on in memory; one read per input goes through the file, so the
// file path agrees with it. (Locking and the atomic replacement have tests of their own: a
// locked, synced write per input would hold the target to about a thousand inputs a second.)
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/ini_text.h"
#include "common/settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Key {
  const char* section;
  const char* key;
};

// Keys of the first section, of later ones, of one the file rarely has, and one spelt in
// another case.
constexpr Key kKeys[] = {
    {"PARAM", "DBVERSION"}, {"PARAM", "NOUPD"}, {"UPD", "Download"}, {"EXPAND", "STAUS"},
    {"param", "pdfflg"},
};

constexpr char kWrittenValue[] = "更新済 1";

// Writes `key` and checks that it alone changed.
void CheckWrite(std::string_view bytes, const std::optional<std::string> (&before)[std::size(kKeys)],
                const Key& written) {
  const std::string after_write =
      common::ini_text::WriteValue(bytes, written.section, written.key, kWrittenValue);
  for (size_t i = 0; i < std::size(kKeys); ++i) {
    const std::optional<std::string> after =
        common::ini_text::ReadValue(after_write, kKeys[i].section, kKeys[i].key);
    if (&kKeys[i] == &written) {
      FUZZ_CHECK(after == kWrittenValue);
    } else {
      FUZZ_CHECK(after == before[i]);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::Bytes(data, size);
  std::optional<std::string> before[std::size(kKeys)];
  for (size_t i = 0; i < std::size(kKeys); ++i) {
    before[i] = common::ini_text::ReadValue(bytes, kKeys[i].section, kKeys[i].key);
  }
  // Which key is written depends on the input, so that every kind is written often.
  CheckWrite(bytes, before, kKeys[size % std::size(kKeys)]);

  const auto& scratch = fuzz::Scratch();
  scratch.Write("user.ini", bytes);
  FUZZ_CHECK(common::ReadIniStrIn(scratch.path(), kKeys[0].section, kKeys[0].key, "<none>") ==
             before[0].value_or("<none>"));
  return 0;
}

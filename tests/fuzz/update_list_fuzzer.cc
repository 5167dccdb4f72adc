// The update list UList as downloaded from the server: split into lines and records, version
// texts turned into numbers, and the whole check against a program folder with installed files.
// The check runs on the list in memory against a fixed folder; reading the list file and the
// installed versions has tests of its own.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tolvan/texts.h"
#include "tolvan/update_list.h"
#include "tolvan/version_number.h"

namespace {

bool IsFlag(int32_t v) { return v == 0 || v == 1; }

// The program folder: listed name -> installed version text.
const std::map<std::string, std::string>& InstalledFiles() {
  static const auto* files = new std::map<std::string, std::string>{
      {"MST.FDB", "2.0.0.3"}, {"Norvik.exe", ""}, {"Kavel.exe", "1.2.3.4"}, {"Tolvan.exe", " 10.0 "}};
  return *files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::Bytes(data, size);
  for (const std::string& line : tolvan::ReadListLines(bytes)) {
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    for (const std::string& field : tolvan::SplitListRecord(line)) {
      FUZZ_CHECK(tolvan::GetVerNo(field) >= 0);
      (void)tolvan::IsPlainFileName(field);
    }
  }
  FUZZ_CHECK(tolvan::GetVerNo(bytes) >= 0);

  std::vector<std::string> log;
  const tolvan::ListDecision decision = tolvan::CheckList(
      bytes,
      [](const std::string& name) -> std::optional<std::string> {
        FUZZ_CHECK(tolvan::IsPlainFileName(name));
        const auto found = InstalledFiles().find(name);
        if (found == InstalledFiles().end()) return std::nullopt;
        return found->second;
      },
      [&log](const std::string& line) { log.push_back(line); }, "1.0.0.0");
  FUZZ_CHECK(IsFlag(decision.result) && IsFlag(decision.pinPKbn) && IsFlag(decision.pinMKbn));
  FUZZ_CHECK(decision.result == (decision.pinPKbn | decision.pinMKbn));
  FUZZ_CHECK(log.size() >= 2 && log.front() == tolvan::texts::kLogListCheckStart &&
             log.back() == tolvan::texts::kLogListCheckEnd);
  // Only a comparison that was logged can ask for an update.
  FUZZ_CHECK(decision.result == 0 || log.size() > 2);
  return 0;
}

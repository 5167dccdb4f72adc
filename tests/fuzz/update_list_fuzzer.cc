// The update list UList as downloaded from the server: split into lines and records, version
// texts turned into numbers, and the whole check against a program folder with installed files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/program_folder.h"
#include "tests/fuzz/fuzz_support.h"
#include "tolvan/update_list.h"
#include "tolvan/version_number.h"

namespace {

bool IsFlag(int32_t v) { return v == 0 || v == 1; }

void PrepareProgramFolder(const common::TempFolderForTesting& folder) {
  static bool done = false;
  if (done) return;
  folder.Write("user.ini", "[PARAM]\r\nDBVERSION=2.0.0.3\r\n");
  folder.Write("MST.FDB", "master");
  folder.Write("Norvik.exe", "MZ");
  folder.Write("Kavel.exe", "MZ\x90");
  done = true;
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

  const auto& scratch = fuzz::Scratch();
  PrepareProgramFolder(scratch);
  common::OverrideProgramFolderForTesting(scratch.path());
  scratch.Write("UList", bytes);
  const std::string log = scratch.path() + "Update.log";
  const tolvan::ListDecision decision = tolvan::UListChk(scratch.path(), log, "1.0.0.0");
  ::unlink(log.c_str());
  FUZZ_CHECK(IsFlag(decision.result) && IsFlag(decision.pinPKbn) && IsFlag(decision.pinMKbn));
  FUZZ_CHECK(decision.result == 1 || (decision.pinPKbn == 0 && decision.pinMKbn == 0));
  return 0;
}

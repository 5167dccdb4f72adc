// Prepared-report files opened in the preview: saved by this program, or damaged, or foreign.
// A file that is accepted must save back to bytes that read again into the same report.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "reportengine/layout/prepared_report_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  const std::optional<re::PreparedReport> report =
      re::ParsePreparedReport(fuzz::Bytes(data, size), &error);
  if (!report) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  const std::string saved = re::SerializePreparedReport(*report);
  std::string error2;
  const std::optional<re::PreparedReport> again = re::ParsePreparedReport(saved, &error2);
  if (!again) std::fprintf(stderr, "saved report refused: %s\n", error2.c_str());
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(re::SerializePreparedReport(*again) == saved);
  return 0;
}

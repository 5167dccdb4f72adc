// Text object texts with expressions in square brackets.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reportengine/model/expression.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::Bytes(data, size);
  const auto parts = re::ParseText(text);
  size_t verbatim = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const re::TextPart& part = parts[i];
    if (part.kind == re::TextPart::Kind::kVerbatim) {
      FUZZ_CHECK(!part.text.empty());
      // Adjacent verbatim text is merged.
      FUZZ_CHECK(i == 0 || parts[i - 1].kind != re::TextPart::Kind::kVerbatim);
      verbatim += part.text.size();
    } else if (part.kind == re::TextPart::Kind::kUnknown) {
      FUZZ_CHECK(part.text.size() >= 2 && part.text.front() == '[' && part.text.back() == ']');
    }
  }
  FUZZ_CHECK(verbatim <= text.size());
  (void)re::ParseFieldRef(text);
  return 0;
}

#include "tolvan/version_number.h"

#include <array>
#include <string>

#include "tolvan/text_util.h"

namespace tolvan {

int32_t GetVerNo(std::string_view pstVersion) {
  // The walk covers as many characters as the trimmed text has, counted from the untrimmed
  // start; for the trimmed texts every caller passes this is the whole text.
  const size_t n = CountCharacters(Trim(pstVersion));
  std::array<std::string, 4> slots;
  size_t dots = 0;
  std::string group;
  size_t walked = 0;
  for (size_t i = 0; i < pstVersion.size() && walked < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(pstVersion[i]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte of a character already counted
    ++walked;
    if (c == '.') {
      ++dots;
      if (dots <= slots.size()) slots[dots - 1] = group;
      group.clear();
    } else if (c >= '0' && c <= '9') {
      group.push_back(static_cast<char>(c));
    }
  }
  if (group.size() == 1) {
    slots[3] = "00" + group;
  } else if (group.size() == 2) {
    slots[3] = "0" + group;
  } else {
    slots[3] = group;
  }
  const std::string joined = slots[0] + slots[1] + slots[2] + slots[3];
  if (joined.empty()) return 0;
  int64_t value = 0;
  for (char c : joined) {
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(value);
}

}  // namespace tolvan

// The comparable number of a dotted version text ("2.0.0.12" -> 200012).
#ifndef TOLVAN_VERSION_NUMBER_H_
#define TOLVAN_VERSION_NUMBER_H_

#include <cstdint>
#include <string_view>

namespace tolvan {

// Joins the digit groups of a dotted version text into one decimal number: the groups before
// the first three dots unpadded, the group after the last dot widened to three digits when it
// has one or two ("2.0.0.2" -> 200002, "1.2" -> 1002, "7" -> 7, "2.0.0." -> 200). Characters other
// than digits and dots are ignored. Groups between a fourth and a last dot are dropped
// ("1.2.3.4.5.6" -> 123006). Returns 0 for a text without digits or whose number does not fit
// a signed 32-bit integer. Callers pass trimmed text; only as many characters are walked as
// the text has once trimmed.
int32_t GetVerNo(std::string_view pstVersion);

}  // namespace tolvan

#endif  // TOLVAN_VERSION_NUMBER_H_

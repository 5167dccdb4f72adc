// Messages are kept as whole texts with "%s" where a value goes ("%s に書き込めません"), so that
// each reads in one piece where it is defined; FillIn puts the values in.
#ifndef COMMON_TEXT_FORMAT_H_
#define COMMON_TEXT_FORMAT_H_

#include <initializer_list>
#include <string>
#include <string_view>

namespace common {

// `pattern` with its "%s" marks replaced by `values`, in order. The values are inserted as they
// are (a "%s" inside a value stays); marks beyond the values stay, values beyond the marks are
// dropped. No other "%" sequence means anything.
std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace common

#endif  // COMMON_TEXT_FORMAT_H_

// The regional formats the programs print dates and times in. The main application runs on a
// Japanese Windows with its default regional settings; we keep those formats here, in one place,
// for the activity logs, the report engine's [DATE]/[TIME] and the database value conversion.
#ifndef COMMON_REGIONAL_FORMAT_H_
#define COMMON_REGIONAL_FORMAT_H_

#include <cstdint>
#include <string>

namespace common {

inline constexpr char kShortDateFormat[] = "yyyy/MM/dd";
inline constexpr char kLongTimeFormat[] = "H:mm:ss";

// A broken-down local date and time.
struct LocalDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The current local date and time, to the millisecond.
LocalDateTime Now();

// "2024/05/01"
std::string FormatShortDate(const LocalDateTime& t);
// "9:30:05"
std::string FormatLongTime(const LocalDateTime& t);
// Short date, one blank, long time; the date alone when hour, minute, second and millisecond
// are all zero (how Windows prints a date-time value whose time part is zero).
std::string FormatDateTime(const LocalDateTime& t);

}  // namespace common

#endif  // COMMON_REGIONAL_FORMAT_H_

#include "common/regional_format.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace common {

LocalDateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  LocalDateTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
  return t;
}

std::string FormatShortDate(const LocalDateTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", t.year, t.month, t.day);
  return buffer;
}

std::string FormatLongTime(const LocalDateTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d", t.hour, t.minute, t.second);
  return buffer;
}

std::string FormatDateTime(const LocalDateTime& t) {
  if (t.hour == 0 && t.minute == 0 && t.second == 0 && t.millisecond == 0) return FormatShortDate(t);
  return FormatShortDate(t) + " " + FormatLongTime(t);
}

}  // namespace common

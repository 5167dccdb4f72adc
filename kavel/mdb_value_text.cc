#include "kavel/mdb_value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/little_endian.h"
#include "common/regional_format.h"

namespace kavel {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr double kSecondsPerDay = 86400.0;
// Windows accepts dates from 100-01-01 to 9999-12-31 (serials -657434 to 2958465).
constexpr double kFirstSerial = -657434.0;
constexpr double kLastSerial = 2958466.0;

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Joins UTF-16 code units into UTF-8, pairing surrogates.
class Utf16Sink {
 public:
  explicit Utf16Sink(std::string* out) : out_(out) {}
  ~Utf16Sink() { Flush(); }
  void Put(char16_t unit) {
    if (high_ != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendUtf8(out_, 0x10000 + ((static_cast<char32_t>(high_) - 0xD800) << 10) + (unit - 0xDC00));
        high_ = 0;
        return;
      }
      Flush();
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_ = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      AppendUtf8(out_, kReplacement);
    } else {
      AppendUtf8(out_, unit);
    }
  }
  void Flush() {
    if (high_ != 0) AppendUtf8(out_, kReplacement);
    high_ = 0;
  }

 private:
  std::string* out_;
  char16_t high_ = 0;
};

// Windows prints a number in plain decimals while its decimal exponent lies from -5 to 14, and
// as "1.5E+20" / "1E-06" (at least two exponent digits) outside that range.
constexpr int kSmallestPlainExponent = -5;
constexpr int kLargestPlainExponent = 14;

template <typename Float>
std::string FormatFloating(Float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  // Shortest round-trip digits, in scientific form: "-d.ddde+XX".
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string scientific(buffer, result.ptr);
  const size_t e = scientific.find('e');
  const bool negative = scientific[0] == '-';
  std::string digits;
  for (size_t i = negative ? 1 : 0; i < e; ++i) {
    if (scientific[i] != '.') digits.push_back(scientific[i]);
  }
  const int exponent = std::stoi(scientific.substr(e + 1));
  std::string text = negative ? "-" : "";
  if (exponent >= kSmallestPlainExponent && exponent <= kLargestPlainExponent) {
    if (exponent < 0) {
      text += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (static_cast<size_t>(exponent) + 1 >= digits.size()) {
      text += digits + std::string(static_cast<size_t>(exponent) + 1 - digits.size(), '0');
    } else {
      text += digits.substr(0, static_cast<size_t>(exponent) + 1) + "." + digits.substr(static_cast<size_t>(exponent) + 1);
    }
    return text;
  }
  text += digits.substr(0, 1);
  if (digits.size() > 1) text += "." + digits.substr(1);
  char exponent_text[16];
  std::snprintf(exponent_text, sizeof exponent_text, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return text + exponent_text;
}

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

constexpr int64_t kDaysFrom1970To18991230 = -25569;

}  // namespace

std::string DecodeJet4Text(std::string_view stored) {
  std::string out;
  out.reserve(stored.size() * 3 / 2);
  Utf16Sink sink(&out);
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(stored[i]); };
  if (stored.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    // Compressed: one byte per character; a zero byte switches to and from two-byte characters.
    bool compressed = true;
    for (size_t i = 2; i < stored.size();) {
      if (byte(i) == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        sink.Put(byte(i));
        ++i;
      } else if (i + 1 < stored.size()) {
        sink.Put(common::ReadLe16(stored.data() + i));
        i += 2;
      } else {
        sink.Flush();
        AppendUtf8(&out, kReplacement);
        ++i;
      }
    }
  } else {
    for (size_t i = 0; i + 1 < stored.size(); i += 2) sink.Put(common::ReadLe16(stored.data() + i));
    if (stored.size() % 2 != 0) {
      sink.Flush();
      AppendUtf8(&out, kReplacement);
    }
  }
  sink.Flush();
  return out;
}

std::string FormatDouble(double value) { return FormatFloating(value); }
std::string FormatSingle(float value) { return FormatFloating(value); }

std::string FormatCurrency(int64_t ten_thousandths) {
  const bool negative = ten_thousandths < 0;
  // Work in unsigned so the most negative amount does not overflow.
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(ten_thousandths) : static_cast<uint64_t>(ten_thousandths);
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(fraction));
    std::string tail(digits);
    while (tail.back() == '0') tail.pop_back();
    text += "." + tail;
  }
  return text;
}

std::string FormatJetDate(double serial) {
  if (!std::isfinite(serial) || serial < kFirstSerial || serial >= kLastSerial) return FormatDouble(serial);
  double whole_days = std::trunc(serial);
  int64_t seconds = std::llround(std::fabs(serial - whole_days) * kSecondsPerDay);
  int64_t days = static_cast<int64_t>(whole_days);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += 1;
  }
  common::LocalDateTime t;
  CivilFromDays(days + kDaysFrom1970To18991230, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>((seconds / 60) % 60);
  t.second = static_cast<int>(seconds % 60);
  t.millisecond = 0;
  return common::FormatDateTime(t);
}

std::string FormatGuid(std::string_view bytes) {
  if (bytes.size() != 16) return std::string();
  const auto b = [&](int i) { return static_cast<unsigned>(static_cast<uint8_t>(bytes[static_cast<size_t>(i)])); };
  char text[40];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b(3), b(2),
                b(1), b(0), b(5), b(4), b(7), b(6), b(8), b(9), b(10), b(11), b(12), b(13), b(14), b(15));
  return text;
}

}  // namespace kavel

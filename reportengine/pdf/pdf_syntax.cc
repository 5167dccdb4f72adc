#include "reportengine/pdf/pdf_syntax.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/text_encoding.h"

namespace re::pdf {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Appends value / 10^decimals, printed from the rounded integer so that no float formatting
// runs on the hot path of content streams.
void AppendScaled(std::string* out, double value, int decimals) {
  const double scale = decimals == 2 ? 100.0 : 1000.0;
  long long n = std::llround(value * scale);
  if (n < 0) {
    out->push_back('-');
    n = -n;
  }
  const long long unit = static_cast<long long>(scale);
  AppendInt(out, n / unit);
  long long frac = n % unit;
  if (frac == 0) return;
  char digits[4];
  int count = decimals;
  for (int i = decimals - 1; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  while (count > 0 && digits[count - 1] == '0') --count;
  out->push_back('.');
  out->append(digits, count);
}

void AppendUtf16Unit(std::string* out, unsigned unit) {
  out->push_back(kHex[(unit >> 12) & 15]);
  out->push_back(kHex[(unit >> 8) & 15]);
  out->push_back(kHex[(unit >> 4) & 15]);
  out->push_back(kHex[unit & 15]);
}

void AppendUtf16Code(std::string* out, char32_t c) {
  if (c >= 0x10000) {
    const char32_t v = c - 0x10000;
    AppendUtf16Unit(out, 0xD800 + (v >> 10));
    AppendUtf16Unit(out, 0xDC00 + (v & 0x3FF));
  } else {
    AppendUtf16Unit(out, c);
  }
}

}  // namespace

void AppendNumber(std::string* out, double value) {
  // A "-0" would be legal but wasteful.
  if (std::fabs(value) < 0.005) {
    out->push_back('0');
    return;
  }
  AppendScaled(out, value, 2);
}

void AppendFraction(std::string* out, double value) {
  if (std::fabs(value) < 0.0005) {
    out->push_back('0');
    return;
  }
  AppendScaled(out, value, 3);
}

void AppendInt(std::string* out, long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

void AppendName(std::string* out, std::string_view name) {
  out->push_back('/');
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    const bool regular = c > 0x20 && c < 0x7F && c != '#' && c != '/' && c != '%' && c != '(' &&
                         c != ')' && c != '<' && c != '>' && c != '[' && c != ']' && c != '{' &&
                         c != '}';
    if (regular) {
      out->push_back(ch);
    } else {
      out->push_back('#');
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 15]);
    }
  }
}

void AppendLiteralString(std::string* out, std::string_view bytes) {
  out->push_back('(');
  AppendLiteralStringBytes(out, bytes);
  out->push_back(')');
}

void AppendLiteralStringBytes(std::string* out, std::string_view bytes) {
  for (const char ch : bytes) {
    switch (ch) {
      case '(':
      case ')':
      case '\\':
        out->push_back('\\');
        out->push_back(ch);
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\n':
        out->append("\\n");
        break;
      default:
        out->push_back(ch);
    }
  }
}

void AppendTextString(std::string* out, std::string_view utf8) {
  bool ascii = true;
  for (const char ch : utf8) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
  if (ascii) {
    AppendLiteralString(out, utf8);
    return;
  }
  out->append("<FEFF");
  for (size_t pos = 0; pos < utf8.size();) AppendUtf16Code(out, common::DecodeUtf8(utf8, &pos));
  out->push_back('>');
}

void AppendUtf16Hex(std::string* out, std::string_view utf8) {
  out->push_back('<');
  for (size_t pos = 0; pos < utf8.size();) AppendUtf16Code(out, common::DecodeUtf8(utf8, &pos));
  out->push_back('>');
}

std::string FormatDate(const std::tm& local, long utc_offset_seconds) {
  const char sign = utc_offset_seconds < 0 ? '-' : '+';
  // Offsets beyond a day do not exist; the bound keeps the field two digits wide.
  const int offset_minutes = static_cast<int>(std::labs(utc_offset_seconds) / 60 % (24 * 60));
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "D:%04d%02d%02d%02d%02d%02d%c%02d'%02d'",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec, sign, offset_minutes / 60, offset_minutes % 60);
  return buffer;
}

std::string FormatLocalDate(std::time_t moment) {
  std::tm local{};
  localtime_r(&moment, &local);
  return FormatDate(local, local.tm_gmtoff);
}

}  // namespace re::pdf

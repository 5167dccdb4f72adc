#include "common/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "common/little_endian.h"

namespace common {
namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD

// Length of the UTF-8 sequence starting with `lead`, or 1 for a byte that cannot start one.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

char32_t DecodeUtf8(std::string_view utf8, size_t* pos, bool* valid) {
  const size_t i = *pos;
  const auto lead = static_cast<unsigned char>(utf8[i]);
  const size_t len = Utf8SequenceLength(lead);
  auto invalid = [&] {
    *pos = i + 1;
    if (valid != nullptr) *valid = false;
    return char32_t{0xFFFD};
  };
  if (len == 1) {
    if (lead >= 0x80) return invalid();
    *pos = i + 1;
    if (valid != nullptr) *valid = true;
    return lead;
  }
  if (i + len > utf8.size()) return invalid();
  char32_t value = lead & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(utf8[i + k]);
    if ((c & 0xC0) != 0x80) return invalid();
    value = (value << 6) | (c & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kMinimum[len] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return invalid();
  }
  *pos = i + len;
  if (valid != nullptr) *valid = true;
  return value;
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// One iconv descriptor.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of `in` as possible, appending to `out`; advances `in`. Returns false with
  // errno set when it stopped before the end of `in`.
  bool Convert(std::string_view& in, std::string& out) {
    char buffer[1024];
    while (!in.empty()) {
      char* src = const_cast<char*>(in.data());
      size_t src_left = in.size();
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      const size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      const int saved = errno;
      out.append(buffer, static_cast<size_t>(dst - buffer));
      in.remove_prefix(in.size() - src_left);
      if (rc == static_cast<size_t>(-1)) {
        if (saved == E2BIG) continue;
        errno = saved;
        return false;
      }
    }
    return true;
  }

  void Reset() {
    if (ok()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }

 private:
  iconv_t cd_;  // the open conversion, or (iconv_t)-1
};

// Opening a descriptor costs more than most conversions: each thread keeps one per direction,
// reset to its initial state for every use.
Converter& Utf8ToCp932Converter() {
  thread_local Converter converter("CP932", "UTF-8");
  converter.Reset();
  return converter;
}

Converter& Cp932ToUtf8Converter() {
  thread_local Converter converter("UTF-8", "CP932");
  converter.Reset();
  return converter;
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

void OpenCp932Conversions() {
  Utf8ToCp932Converter();
  Cp932ToUtf8Converter();
}

std::string Utf8ToCp932(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);  // the same in both; spares an iconv descriptor
  std::string out;
  out.reserve(utf8.size());
  Converter& converter = Utf8ToCp932Converter();
  if (!converter.ok()) {
    // Without the conversion table keep ASCII and mark everything else as unrepresentable.
    size_t i = 0;
    while (i < utf8.size()) {
      bool valid = false;
      const uint32_t cp = DecodeUtf8(utf8, &i, &valid);
      if (valid && cp < 0x80) {
        out.push_back(static_cast<char>(cp));
      } else {
        out += valid && cp >= 0x10000 ? "??" : "?";
      }
    }
    return out;
  }
  std::string_view rest = utf8;
  while (!converter.Convert(rest, out)) {
    // A character CP932 cannot hold, or a malformed sequence: one "?" per UTF-16 unit of the
    // character, as Windows converts from UTF-16 (an emoji is a surrogate pair: "??").
    size_t i = 0;
    bool valid = false;
    const uint32_t cp = DecodeUtf8(rest, &i, &valid);
    out += valid && cp >= 0x10000 ? "??" : "?";
    rest.remove_prefix(i);
    converter.Reset();
  }
  return out;
}

std::string Cp932ToUtf8(std::string_view cp932) {
  if (IsAscii(cp932)) return std::string(cp932);
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  Converter& converter = Cp932ToUtf8Converter();
  if (!converter.ok()) {
    for (char c : cp932) {
      if (static_cast<unsigned char>(c) < 0x80) out.push_back(c);
      else out += kReplacementUtf8;
    }
    return out;
  }
  std::string_view rest = cp932;
  while (!converter.Convert(rest, out)) {
    out += kReplacementUtf8;
    rest.remove_prefix(1);
    converter.Reset();
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit_at = [&](size_t k) { return uint32_t{ReadLe16(bytes.data() + 2 * k)}; };
  for (size_t k = 0; k < units; ++k) {
    const uint32_t u = unit_at(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const uint32_t low = unit_at(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      out += kReplacementUtf8;
    } else {
      AppendUtf8(out, u);
    }
  }
  if (bytes.size() % 2 != 0) out += kReplacementUtf8;  // a dangling odd byte
  return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp = DecodeUtf8(utf8, &i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

}  // namespace common

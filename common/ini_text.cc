#include "common/ini_text.h"

#include <strings.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "common/text_encoding.h"
#include "common/trim.h"

namespace common::ini_text {
namespace {

constexpr char kUtf16LeBom[] = "\xFF\xFE";
constexpr char kNewFileLineEnd[] = "\r\n";
constexpr size_t kMaxValueUtf16Units = 2047;    // the 2048-character read buffer less its zero

enum class FileEncoding { kCp932, kUtf16Le };

// One line of the file: its bytes as found (so untouched lines are written back byte for byte;
// they stay in the caller's buffer, which outlives the document), its text in UTF-8 for matching,
// and its line end ("\r\n", "\n" or "" for a last line without).
struct IniLine {
  std::string_view raw;
  std::string text;
  std::string_view eol;
  bool changed = false;  // true when `text` must be encoded anew on output
};

struct IniDocument {
  FileEncoding encoding = FileEncoding::kCp932;
  std::vector<IniLine> lines;
  std::string_view eol = kNewFileLineEnd;  // the line end new lines get
};

// Section and key names match without regard to ASCII case. strncasecmp folds only ASCII
// letters in the C locale and in the UTF-8 locales the programs run in.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// What a line means to the profile format.
struct LineMeaning {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
};

LineMeaning Classify(std::string_view text) {
  LineMeaning m;
  const std::string_view t = Trim(text);
  // The profile functions know no comments: ";c=x" is the key ";c".
  if (t.empty()) return m;
  if (t.front() == '[') {
    std::string_view name = t.substr(1);
    const size_t close = name.find(']');
    if (close != std::string_view::npos) name = name.substr(0, close);
    m.kind = LineMeaning::kSection;
    m.name = Trim(name);
    return m;
  }
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return m;
  m.kind = LineMeaning::kKey;
  m.name = Trim(t.substr(0, eq));
  m.value = Trim(t.substr(eq + 1));
  return m;
}

std::string Decode(FileEncoding encoding, std::string_view raw) {
  return encoding == FileEncoding::kUtf16Le ? Utf16LeToUtf8(raw) : Cp932ToUtf8(raw);
}

std::string Encode(FileEncoding encoding, std::string_view text) {
  return encoding == FileEncoding::kUtf16Le ? Utf8ToUtf16Le(text) : Utf8ToCp932(text);
}

// Cuts file bytes into lines, one at a time, so that a read can stop at its key.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view bytes) : bytes_(bytes) {
    if (bytes_.substr(0, 2) == std::string_view(kUtf16LeBom, 2)) {
      encoding_ = FileEncoding::kUtf16Le;
      bytes_.remove_prefix(2);
      unit_ = 2;
    }
  }

  FileEncoding encoding() const { return encoding_; }

  // The next line with its text decoded; false at the end of the bytes.
  bool Next(IniLine& line) {
    if (start_ >= bytes_.size()) return false;
    size_t pos = start_;
    while (pos + unit_ <= bytes_.size() && !IsChar(pos, '\n')) pos += unit_;
    size_t end = pos;
    if (pos + unit_ <= bytes_.size()) {
      line.eol = "\n";
      if (end >= start_ + unit_ && IsChar(end - unit_, '\r')) {
        end -= unit_;
        line.eol = "\r\n";
      }
      pos += unit_;
    } else {
      pos = bytes_.size();
      end = pos;
      line.eol = {};
    }
    line.raw = bytes_.substr(start_, end - start_);
    line.text = Decode(encoding_, line.raw);
    line.changed = false;
    start_ = pos;
    return true;
  }

  // Lines still to come, at most.
  size_t LinesLeft() const {
    return static_cast<size_t>(std::count(bytes_.begin() + static_cast<std::ptrdiff_t>(start_),
                                          bytes_.end(), '\n')) + 1;
  }

 private:
  bool IsChar(size_t pos, char c) const {
    return bytes_[pos] == c && (unit_ == 1 || bytes_[pos + 1] == '\0');
  }

  std::string_view bytes_;
  FileEncoding encoding_ = FileEncoding::kCp932;
  size_t unit_ = 1;
  size_t start_ = 0;
};

IniDocument Parse(std::string_view bytes) {
  LineSplitter splitter(bytes);
  IniDocument doc;
  doc.encoding = splitter.encoding();
  doc.lines.reserve(splitter.LinesLeft());
  IniLine line;
  bool eol_seen = false;
  while (splitter.Next(line)) {
    if (!eol_seen && !line.eol.empty()) {
      doc.eol = line.eol;
      eol_seen = true;
    }
    doc.lines.push_back(std::move(line));
  }
  return doc;
}

std::string Serialize(const IniDocument& doc) {
  std::string out;
  if (doc.encoding == FileEncoding::kUtf16Le) out.append(kUtf16LeBom, 2);
  for (const IniLine& line : doc.lines) {
    out += line.changed ? Encode(doc.encoding, line.text) : line.raw;
    out += Encode(doc.encoding, line.eol);
  }
  return out;
}

// Index of the header line of the first section named `section`, if any.
std::optional<size_t> FindSection(const IniDocument& doc, std::string_view section) {
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    const LineMeaning m = Classify(doc.lines[i].text);
    if (m.kind == LineMeaning::kSection && EqualsIgnoringAsciiCase(m.name, section)) return i;
  }
  return std::nullopt;
}

// One past the last line belonging to the section whose header is at `header`.
size_t SectionEnd(const IniDocument& doc, size_t header) {
  size_t i = header + 1;
  while (i < doc.lines.size() && Classify(doc.lines[i].text).kind != LineMeaning::kSection) ++i;
  return i;
}

std::optional<size_t> FindKey(const IniDocument& doc, size_t header, std::string_view key) {
  const size_t end = SectionEnd(doc, header);
  for (size_t i = header + 1; i < end; ++i) {
    const LineMeaning m = Classify(doc.lines[i].text);
    if (m.kind == LineMeaning::kKey && EqualsIgnoringAsciiCase(m.name, key)) return i;
  }
  return std::nullopt;
}

// The value as a read returns it: one pair of enclosing quotes removed, cut to the read buffer.
std::string ReadableValue(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  std::string utf16 = Utf8ToUtf16Le(value);
  if (utf16.size() <= 2 * kMaxValueUtf16Units) return std::string(value);
  utf16.resize(2 * kMaxValueUtf16Units);
  // Never leave half of a surrogate pair at the end.
  const auto last = static_cast<unsigned char>(utf16[utf16.size() - 1]);
  if (last >= 0xD8 && last <= 0xDB) utf16.resize(utf16.size() - 2);
  return Utf16LeToUtf8(utf16);
}

void SetValue(IniDocument& doc, std::string_view section, std::string_view key,
              std::string_view value) {
  auto make_line = [&doc](std::string text) {
    IniLine line;
    line.text = std::move(text);
    line.eol = doc.eol;
    line.changed = true;
    return line;
  };
  auto terminate_line_before = [&doc](size_t index) {
    if (index == 0 || !doc.lines[index - 1].eol.empty()) return;
    IniLine& last = doc.lines[index - 1];
    last.eol = doc.eol;
    // A stray odd byte at the end of a UTF-16 file would shift every character written after
    // it: such a line is written again from its text.
    if (doc.encoding == FileEncoding::kUtf16Le && last.raw.size() % 2 != 0) last.changed = true;
  };

  const std::optional<size_t> header = FindSection(doc, section);
  if (!header) {
    terminate_line_before(doc.lines.size());
    doc.lines.push_back(make_line("[" + std::string(section) + "]"));
    doc.lines.push_back(make_line(std::string(key) + "=" + std::string(value)));
    return;
  }
  if (const std::optional<size_t> at = FindKey(doc, *header, key)) {
    IniLine& line = doc.lines[*at];
    // The key keeps the spelling it has in the file.
    line.text = std::string(Classify(line.text).name) + "=" + std::string(value);
    line.changed = true;
    return;
  }
  // A new key goes after the last non-blank line of its section.
  size_t insert_at = SectionEnd(doc, *header);
  while (insert_at > *header + 1 && Trim(doc.lines[insert_at - 1].text).empty()) --insert_at;
  terminate_line_before(insert_at);
  doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insert_at),
                   make_line(std::string(key) + "=" + std::string(value)));
}

}  // namespace

std::optional<std::string> ReadValue(std::string_view file_bytes, std::string_view section,
                                     std::string_view key) {
  // The names asked for are trimmed like the names in the file.
  section = Trim(section);
  key = Trim(key);
  // The first section of the name is the one read; the key must be in it.
  LineSplitter splitter(file_bytes);
  IniLine line;
  bool in_section = false;
  while (splitter.Next(line)) {
    const LineMeaning m = Classify(line.text);
    if (m.kind == LineMeaning::kSection) {
      if (in_section) return std::nullopt;
      in_section = EqualsIgnoringAsciiCase(m.name, section);
    } else if (in_section && m.kind == LineMeaning::kKey && EqualsIgnoringAsciiCase(m.name, key)) {
      return ReadableValue(m.value);
    }
  }
  return std::nullopt;
}

std::string WriteValue(std::string_view file_bytes, std::string_view section, std::string_view key,
                       std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  IniDocument doc = Parse(file_bytes);
  SetValue(doc, section, key, value);
  return Serialize(doc);
}

}  // namespace common::ini_text

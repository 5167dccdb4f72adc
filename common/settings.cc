#include "common/settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "common/file_helper.h"
#include "common/program_folder.h"
#include "common/text_encoding.h"
#include "common/texts.h"

namespace common {
namespace {

using texts::kSettingsFileName;
using texts::kSettingsLockSuffix;
using texts::kSettingsWriteErrorSuffix;
constexpr char kUtf16LeBom[] = "\xFF\xFE";
constexpr char kNewFileLineEnd[] = "\r\n";
constexpr size_t kMaxValueUtf16Units = 2047;    // the 2048-character read buffer less its zero
constexpr auto kLockWaitLimit = std::chrono::seconds(10);

enum class FileEncoding { kCp932, kUtf16Le };

// One line of the file: its bytes as found (so untouched lines are written back byte for byte),
// its text in UTF-8 for matching, and its line end ("\r\n", "\n" or "" for a last line without).
struct IniLine {
  std::string raw;
  std::string text;
  std::string eol;
  bool changed = false;  // true when `text` must be encoded anew on output
};

struct IniDocument {
  FileEncoding encoding = FileEncoding::kCp932;
  std::vector<IniLine> lines;
  std::string eol = kNewFileLineEnd;  // the line end new lines get
};

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
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
  if (t.empty() || t.front() == ';') return m;
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

IniDocument Parse(std::string_view bytes) {
  IniDocument doc;
  size_t unit = 1;
  if (bytes.substr(0, 2) == std::string_view(kUtf16LeBom, 2)) {
    doc.encoding = FileEncoding::kUtf16Le;
    bytes.remove_prefix(2);
    unit = 2;
  }
  auto is_char = [&](size_t pos, char c) {
    return bytes[pos] == c && (unit == 1 || bytes[pos + 1] == '\0');
  };
  bool eol_seen = false;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t pos = start;
    while (pos + unit <= bytes.size() && !is_char(pos, '\n')) pos += unit;
    IniLine line;
    size_t end = pos;
    if (pos + unit <= bytes.size()) {
      line.eol = "\n";
      if (end >= start + unit && is_char(end - unit, '\r')) {
        end -= unit;
        line.eol = "\r\n";
      }
      if (!eol_seen) {
        doc.eol = line.eol;
        eol_seen = true;
      }
      pos += unit;
    } else {
      pos = bytes.size();
      end = pos;
    }
    line.raw = std::string(bytes.substr(start, end - start));
    line.text = Decode(doc.encoding, line.raw);
    doc.lines.push_back(std::move(line));
    start = pos;
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

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
  // Non-blocking, so that a FIFO in user.ini's place cannot hold a read up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadResult::kFailed;
  }
  out.clear();
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return ReadResult::kFailed;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::kOk;
}

// Writable as Windows sees it: also a file or folder without any write permission bit counts as
// read-only when the caller is privileged enough to ignore the bits.
bool IsWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// An exclusive advisory lock on user.ini.lock, held for one read-modify-write.
class IniLock {
 public:
  explicit IniLock(const std::string& lock_path)
      : fd_(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kLockWaitLimit;
    auto pause = std::chrono::microseconds(200);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
  }
  ~IniLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  IniLock(const IniLock&) = delete;
  IniLock& operator=(const IniLock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_;  // the lock file, locked, or -1
};

bool WriteFileReplacing(const std::string& target, const std::string& bytes, mode_t mode) {
  const std::string temp = TemporaryNameBeside(target);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && mode != 0) ok = ::fchmod(fd, mode & 07777) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool WriteIniValue(const std::string& ini_path, std::string_view section, std::string_view key,
                   std::string_view value) {
  // A user.ini that is a symbolic link stays one: the file it points at is replaced.
  std::string target = ini_path;
  struct stat lst {};
  if (::lstat(ini_path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char* resolved = ::realpath(ini_path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    target = resolved;
    std::free(resolved);
  }
  if (!IsWritable(FolderOf(target))) return false;

  IniLock lock(ini_path + kSettingsLockSuffix);
  if (!lock.held()) return false;

  std::string bytes;
  mode_t mode = 0;
  switch (ReadWholeFile(target, bytes)) {
    case ReadResult::kFailed:
      return false;
    case ReadResult::kMissing:
      bytes.clear();
      break;
    case ReadResult::kOk: {
      if (!IsWritable(target)) return false;
      struct stat st {};
      if (::stat(target.c_str(), &st) != 0) return false;
      mode = st.st_mode;
      break;
    }
  }
  IniDocument doc = Parse(bytes);
  SetValue(doc, section, key, value);
  return WriteFileReplacing(target, Serialize(doc), mode);
}

}  // namespace

std::string IFReadIniStr(std::string_view pMKey, std::string_view pSKey, std::string_view pDef) {
  try {
    std::string bytes;
    if (ReadWholeFile(ProgramFolder() + kSettingsFileName, bytes) != ReadResult::kOk) {
      return std::string(pDef);
    }
    const IniDocument doc = Parse(bytes);
    const std::optional<size_t> header = FindSection(doc, pMKey);
    if (!header) return std::string(pDef);
    const std::optional<size_t> at = FindKey(doc, *header, pSKey);
    if (!at) return std::string(pDef);
    return ReadableValue(Classify(doc.lines[*at].text).value);
  } catch (const std::exception&) {
    return std::string(pDef);
  }
}

void IFWriteIniStr(std::string_view pMKey, std::string_view pSKey, std::string_view pPara) {
  const std::string path = ProgramFolder() + kSettingsFileName;
  bool ok = false;
  try {
    ok = WriteIniValue(path, pMKey, pSKey, pPara);
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) throw SettingsWriteError(path + kSettingsWriteErrorSuffix);
}

}  // namespace common

#include "common/version_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "common/little_endian.h"
#include "common/text_encoding.h"
#include "common/unique_fd.h"

// The version resource is found the way the Windows loader finds it: DOS header -> PE header ->
// optional header's resource data directory -> section that holds it -> the three-level resource
// directory (type 16, name 1, a language) -> the data entry -> VS_VERSIONINFO. Every structure
// comes from an untrusted file, so every read goes through a bounds-checked accessor, the
// directory walk has a fixed depth, and the only buffer allocated is the version block itself,
// which its 16-bit length field limits to 64 KiB.

namespace common {
namespace {

constexpr uint16_t kDosMagic = 0x5A4D;       // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVsVersionInfoId = 1;
constexpr uint32_t kLangNeutral = 0x0000;
constexpr uint32_t kLangJapanese = 0x0411;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kMaxVersionBlockBytes = 0xFFFF;  // wLength is 16 bits
constexpr uint32_t kMaxDirectoryEntries = 4096;   // more than any real resource directory holds
constexpr int kMaxSiblingBlocks = 4096;
constexpr uint32_t kMaxSections = 1024;           // the loader's own limit is far lower in practice

// Reads `size` bytes at `offset` of the image; false when any of them lies outside it.
using ReadAt = std::function<bool(uint64_t offset, size_t size, void* out)>;

struct Section {
  uint32_t virtual_address = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_size = 0;
  uint32_t raw_offset = 0;
};

// The PE headers needed to turn relative virtual addresses into file offsets.
class PeImage {
 public:
  explicit PeImage(ReadAt read) : read_(std::move(read)) {}

  // Reads the headers; false when the image is not a PE file.
  bool Open() {
    unsigned char dos[64];
    if (!read_(0, sizeof dos, dos) || ReadLe16(dos) != kDosMagic) return false;
    const uint64_t pe = ReadLe32(dos + 0x3C);
    unsigned char head[24];
    if (!read_(pe, sizeof head, head) || ReadLe32(head) != kPeSignature) return false;
    const uint32_t section_count = ReadLe16(head + 6);
    const uint16_t optional_size = ReadLe16(head + 20);
    const uint64_t optional = pe + sizeof head;
    unsigned char magic[2];
    if (!read_(optional, 2, magic)) return false;
    uint64_t count_at = 0;
    if (ReadLe16(magic) == kPe32Magic) count_at = 92;
    else if (ReadLe16(magic) == kPe32PlusMagic) count_at = 108;
    else return false;
    const uint64_t directories_at = count_at + 4;
    unsigned char count[4];
    if (count_at + 4 > optional_size || !read_(optional + count_at, 4, count)) return false;
    const uint64_t entry_end = directories_at + (kResourceDirectoryIndex + 1) * 8;
    if (ReadLe32(count) <= kResourceDirectoryIndex || entry_end > optional_size) return false;
    unsigned char entry[8];
    if (!read_(optional + directories_at + kResourceDirectoryIndex * 8, 8, entry)) return false;
    resource_rva_ = ReadLe32(entry);
    resource_size_ = ReadLe32(entry + 4);
    if (resource_rva_ == 0 || resource_size_ == 0) return false;
    const uint64_t sections_at = optional + optional_size;
    for (uint32_t i = 0; i < section_count && i < kMaxSections; ++i) {
      unsigned char header[40];
      if (!read_(sections_at + uint64_t{i} * 40, sizeof header, header)) break;
      Section s;
      s.virtual_size = ReadLe32(header + 8);
      s.virtual_address = ReadLe32(header + 12);
      s.raw_size = ReadLe32(header + 16);
      s.raw_offset = ReadLe32(header + 20);
      sections_.push_back(s);
    }
    return !sections_.empty();
  }

  uint32_t resource_rva() const { return resource_rva_; }

  // Reads `size` bytes at relative virtual address `rva`; they must lie in one section's raw
  // data and in the file.
  bool ReadRva(uint64_t rva, size_t size, void* out) const {
    for (const Section& s : sections_) {
      if (rva < s.virtual_address) continue;
      const uint64_t delta = rva - s.virtual_address;
      const uint64_t span = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
      if (delta >= span) continue;
      if (delta + size > s.raw_size) return false;  // not backed by file data
      return read_(uint64_t{s.raw_offset} + delta, size, out);
    }
    return false;
  }

 private:
  ReadAt read_;
  std::vector<Section> sections_;  // the section table, as far as the file holds it
  uint32_t resource_rva_ = 0;
  uint32_t resource_size_ = 0;
};

struct DirectoryEntry {
  uint32_t id = 0;
  bool named = false;
  bool subdirectory = false;
  uint32_t offset = 0;  // relative to the resource directory's start
};

// Calls `visit` for each entry of the resource directory at `offset` (relative to the root)
// until it returns true; false when the directory cannot be read.
bool ForEachEntry(const PeImage& image, uint32_t offset,
                  const std::function<bool(const DirectoryEntry&)>& visit) {
  unsigned char header[16];
  const uint64_t at = uint64_t{image.resource_rva()} + offset;
  if (!image.ReadRva(at, sizeof header, header)) return false;
  uint32_t count = uint32_t{ReadLe16(header + 12)} + ReadLe16(header + 14);
  if (count > kMaxDirectoryEntries) count = kMaxDirectoryEntries;
  for (uint32_t i = 0; i < count; ++i) {
    unsigned char raw[8];
    if (!image.ReadRva(at + sizeof header + uint64_t{i} * 8, sizeof raw, raw)) return false;
    DirectoryEntry e;
    const uint32_t name = ReadLe32(raw);
    const uint32_t data = ReadLe32(raw + 4);
    e.named = (name & kHighBit) != 0;
    e.id = name & 0xFFFF;
    e.subdirectory = (data & kHighBit) != 0;
    e.offset = data & ~kHighBit;
    if (visit(e)) return true;
  }
  return true;
}

std::optional<DirectoryEntry> FindIdEntry(const PeImage& image, uint32_t offset, uint32_t id) {
  std::optional<DirectoryEntry> found;
  ForEachEntry(image, offset, [&](const DirectoryEntry& e) {
    if (e.named || e.id != id) return false;
    found = e;
    return true;
  });
  return found;
}

// The language entry FindResource would pick on a Japanese system: neutral, then Japanese,
// then the first one there is.
std::optional<DirectoryEntry> PickLanguage(const PeImage& image, uint32_t offset) {
  std::optional<DirectoryEntry> first, japanese, neutral;
  ForEachEntry(image, offset, [&](const DirectoryEntry& e) {
    if (!first) first = e;
    if (!e.named && e.id == kLangJapanese && !japanese) japanese = e;
    if (!e.named && e.id == kLangNeutral) {
      neutral = e;
      return true;
    }
    return false;
  });
  if (neutral) return neutral;
  if (japanese) return japanese;
  return first;
}

// The raw VS_VERSIONINFO block, or nothing.
std::optional<std::string> ReadVersionBlock(const PeImage& image) {
  const std::optional<DirectoryEntry> type = FindIdEntry(image, 0, kRtVersion);
  if (!type || !type->subdirectory) return std::nullopt;
  const std::optional<DirectoryEntry> name = FindIdEntry(image, type->offset, kVsVersionInfoId);
  if (!name || !name->subdirectory) return std::nullopt;
  const std::optional<DirectoryEntry> language = PickLanguage(image, name->offset);
  if (!language || language->subdirectory) return std::nullopt;
  unsigned char data_entry[16];
  if (!image.ReadRva(uint64_t{image.resource_rva()} + language->offset, sizeof data_entry, data_entry)) {
    return std::nullopt;
  }
  const uint32_t data_rva = ReadLe32(data_entry);
  size_t size = ReadLe32(data_entry + 4);
  if (size > kMaxVersionBlockBytes) size = kMaxVersionBlockBytes;
  std::string block(size, '\0');
  if (size == 0 || !image.ReadRva(data_rva, size, block.data())) return std::nullopt;
  return block;
}

// One node of the VS_VERSIONINFO tree: wLength, wValueLength, wType, a zero-terminated UTF-16
// key, padding to 32 bits, the value, padding, and the children.
struct Block {
  size_t begin = 0;
  size_t end = 0;           // begin + wLength, clipped to the parent
  std::u16string key;
  size_t value_begin = 0;
  size_t value_end = 0;     // clipped to `end`
  size_t children_begin = 0;
};

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

// Parses the block at `begin` within [begin, limit) of `data`; false when it is malformed.
bool ParseBlock(std::string_view data, size_t begin, size_t limit, Block& b) {
  if (limit > data.size() || begin + 6 > limit) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const size_t length = ReadLe16(p + begin);
  const size_t value_length = ReadLe16(p + begin + 2);
  const uint16_t type = ReadLe16(p + begin + 4);
  if (length < 6) return false;
  b.begin = begin;
  b.end = begin + length < limit ? begin + length : limit;
  b.key.clear();
  size_t at = begin + 6;
  for (;;) {
    if (at + 2 > b.end) return false;  // a key without its terminating zero
    const char16_t c = ReadLe16(p + at);
    at += 2;
    if (c == 0) break;
    b.key.push_back(c);
  }
  b.value_begin = Align4(at) < b.end ? Align4(at) : b.end;
  // Text values count 16-bit characters, binary values bytes.
  const size_t value_bytes = type == 1 ? value_length * 2 : value_length;
  b.value_end = b.value_begin + value_bytes < b.end ? b.value_begin + value_bytes : b.end;
  b.children_begin = Align4(b.value_end);
  return true;
}

bool KeyEquals(const std::u16string& key, std::string_view ascii) {
  if (key.size() != ascii.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    char16_t a = key[i];
    char b = ascii[i];
    if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - u'a' + u'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != static_cast<unsigned char>(b)) return false;
  }
  return true;
}

// The child of `parent` whose key matches `key` without regard to ASCII case.
std::optional<Block> FindChild(std::string_view data, const Block& parent, std::string_view key) {
  size_t at = parent.children_begin;
  for (int n = 0; n < kMaxSiblingBlocks && at < parent.end; ++n) {
    Block child;
    if (!ParseBlock(data, at, parent.end, child)) return std::nullopt;
    if (KeyEquals(child.key, key)) return child;
    at = Align4(child.end);  // wLength >= 6, so this always moves forward
  }
  return std::nullopt;
}

std::string FileVersionOfBlock(std::string_view data) {
  Block root;
  if (!ParseBlock(data, 0, data.size(), root) || !KeyEquals(root.key, "VS_VERSION_INFO")) return "";
  const std::optional<Block> var_info = FindChild(data, root, "VarFileInfo");
  if (!var_info) return "";
  const std::optional<Block> translation = FindChild(data, *var_info, "Translation");
  if (!translation || translation->value_end - translation->value_begin < 4) return "";
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const uint16_t language = ReadLe16(p + translation->value_begin);
  const uint16_t code_page = ReadLe16(p + translation->value_begin + 2);
  char table_name[9];
  std::snprintf(table_name, sizeof table_name, "%04X%04X", language, code_page);

  const std::optional<Block> string_info = FindChild(data, root, "StringFileInfo");
  if (!string_info) return "";
  const std::optional<Block> table = FindChild(data, *string_info, table_name);
  if (!table) return "";
  const std::optional<Block> entry = FindChild(data, *table, "FileVersion");
  if (!entry) return "";
  size_t end = entry->value_begin;
  while (end + 2 <= entry->value_end && ReadLe16(p + end) != 0) end += 2;
  return Utf16LeToUtf8(data.substr(entry->value_begin, end - entry->value_begin));
}

std::string FileVersionOf(const ReadAt& read) {
  PeImage image(read);
  if (!image.Open()) return "";
  const std::optional<std::string> block = ReadVersionBlock(image);
  return block ? FileVersionOfBlock(*block) : "";
}

}  // namespace

std::string FileVersionOfImage(std::string_view image) {
  return FileVersionOf([image](uint64_t offset, size_t size, void* out) {
    if (offset > image.size() || size > image.size() - offset) return false;
    std::memcpy(out, image.data() + offset, size);
    return true;
  });
}

std::string GetEXEDLLVersionInfo2(const std::string& FileName) {
  const UniqueFd file(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.valid()) return "";
  const int fd = file.get();
  std::string result;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const auto file_size = static_cast<uint64_t>(st.st_size);
    try {
      result = FileVersionOf([fd, file_size](uint64_t offset, size_t size, void* out) {
        if (offset > file_size || size > file_size - offset) return false;
        size_t done = 0;
        while (done < size) {
          const ssize_t n = ::pread(fd, static_cast<char*>(out) + done, size - done,
                                    static_cast<off_t>(offset + done));
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) return false;
          done += static_cast<size_t>(n);
        }
        return true;
      });
    } catch (const std::exception&) {
      result.clear();
    }
  }
  return result;
}

}  // namespace common

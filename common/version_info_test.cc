#include "common/version_info.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "common/temp_folder_for_testing.h"

namespace common {
namespace {

std::string Fixture(const std::string& name) { return std::string(PE_FIXTURE_DIR) + name; }

std::string ReadFixture(const std::string& name) {
  std::ifstream in(Fixture(name), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void Put16(std::string& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
void Put32(std::string& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// Where the structures of a well-formed fixture lie, found the simple way.
struct Layout {
  size_t pe = 0;             // "PE\0\0"
  size_t rsrc_raw = 0;       // file offset of the resource directory
  uint32_t rsrc_rva = 0;
  size_t version_block = 0;  // VS_VERSIONINFO
  size_t translation = 0;    // the "Translation" block
  size_t data_entry = 0;     // the resource data entry naming the version block
};

size_t FindUtf16(const std::string& b, const char* ascii) {
  std::string needle;
  for (const char* p = ascii; *p; ++p) needle += std::string{*p, '\0'};
  return b.find(needle);
}

Layout Locate(const std::string& b) {
  Layout l;
  l.pe = Get32(b, 0x3C);
  const size_t sections = l.pe + 24 + (static_cast<unsigned char>(b[l.pe + 20]) | (b[l.pe + 21] << 8));
  for (size_t s = sections; s + 40 <= b.size(); s += 40) {
    if (b.compare(s, 5, ".rsrc") == 0) {
      l.rsrc_rva = Get32(b, s + 12);
      l.rsrc_raw = Get32(b, s + 20);
      break;
    }
  }
  l.version_block = FindUtf16(b, "VS_VERSION_INFO") - 6;
  l.translation = FindUtf16(b, "Translation") - 6;
  const uint32_t block_rva = static_cast<uint32_t>(l.version_block - l.rsrc_raw + l.rsrc_rva);
  for (size_t at = l.rsrc_raw; at + 8 <= b.size(); at += 4) {
    if (Get32(b, at) == block_rva) {
      l.data_entry = at;
      break;
    }
  }
  return l;
}

TEST(VersionInfoTest, FileVersionOfTheFirstTranslation) {
  TempFolderForTesting folder;
  folder.Write("readme.txt", "FileVersion 2.0.0.2\r\n");
  folder.Write("empty.exe", "");
  ASSERT_EQ(::mkfifo((folder.path() + "pipe.exe").c_str(), 0644), 0);
  const struct {
    std::string path;
    const char* expected;
  } cases[] = {
      {Fixture("version_ja.exe"), "2.0.0.2"},
      {Fixture("version_ja_x86.exe"), "2.0.0.2"},  // PE32 as well as PE32+
      {Fixture("version_blanks.exe"), "  3.1 beta  "},
      {Fixture("version_two_tables.exe"), "2.5.0.11"},
      {Fixture("version_second_translation_only.exe"), ""},
      {Fixture("version_no_translation.exe"), ""},
      {Fixture("no_version.exe"), ""},
      {Fixture("no_resources.exe"), ""},
      {folder.path() + "readme.txt", ""},
      {folder.path() + "empty.exe", ""},
      {folder.path() + "missing.exe", ""},
      {folder.path(), ""},
      {folder.path() + "pipe.exe", ""},  // must not block
  };
  for (const auto& c : cases) EXPECT_EQ(GetEXEDLLVersionInfo2(c.path), c.expected) << c.path;
}

TEST(VersionInfoTest, DamagedFilesGiveEmptyTextOrTheTruth) {
  const std::string good = ReadFixture("version_ja.exe");
  const Layout l = Locate(good);
  ASSERT_NE(l.rsrc_raw, 0u);
  ASSERT_NE(l.data_entry, 0u);
  ASSERT_EQ(FileVersionOfImage(good), "2.0.0.2");

  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* expected;  // what is still readable stays readable
  } const cases[] = {
      {"cut inside the headers", [](std::string& b) { b.resize(200); }, ""},
      {"cut inside the resource directory", [&](std::string& b) { b.resize(l.rsrc_raw + 20); }, ""},
      {"cut inside the version block", [&](std::string& b) { b.resize(l.version_block + 100); }, ""},
      {"PE header offset far outside", [](std::string& b) { Put32(b, 0x3C, 0xFFFFFFF0u); }, ""},
      {"PE header offset at the end", [](std::string& b) { Put32(b, 0x3C, static_cast<uint32_t>(b.size() - 2)); }, ""},
      {"65535 sections", [&](std::string& b) { Put16(b, l.pe + 6, 0xFFFF); }, "2.0.0.2"},
      {"no sections", [&](std::string& b) { Put16(b, l.pe + 6, 0); }, ""},
      {"65535 + 65535 root entries", [&](std::string& b) {
         Put16(b, l.rsrc_raw + 12, 0xFFFF);
         Put16(b, l.rsrc_raw + 14, 0xFFFF);
       }, "2.0.0.2"},
      {"type entry pointing back at the root", [&](std::string& b) {
         Put32(b, l.rsrc_raw + 16 + 4, 0x80000000u);
       }, ""},
      {"version data of 4 GiB", [&](std::string& b) { Put32(b, l.data_entry + 4, 0xFFFFFFFFu); }, ""},
      {"version data outside the file", [&](std::string& b) { Put32(b, l.data_entry, 0x7FFFFFF0u); }, ""},
      {"block length 65535", [&](std::string& b) { Put16(b, l.version_block, 0xFFFF); }, "2.0.0.2"},
      {"block length 0", [&](std::string& b) { Put16(b, l.version_block, 0); }, ""},
      {"translation value length 65535", [&](std::string& b) { Put16(b, l.translation + 2, 0xFFFF); }, "2.0.0.2"},
      {"translation value length 0", [&](std::string& b) { Put16(b, l.translation + 2, 0); }, ""},
      {"key without terminating zero", [&](std::string& b) {
         Put16(b, l.version_block, 36);  // ends inside "VS_VERSION_INFO"
       }, ""},
      {"garbage after the DOS header", [](std::string& b) {
         std::mt19937 random(7);
         for (size_t i = 0x40; i < b.size(); ++i) b[i] = static_cast<char>(random());
       }, ""},
  };
  TempFolderForTesting folder;
  for (const auto& c : cases) {
    std::string bytes = good;
    c.damage(bytes);
    folder.Write("damaged.exe", bytes);
    const std::string from_file = GetEXEDLLVersionInfo2(folder.path() + "damaged.exe");
    EXPECT_EQ(from_file, FileVersionOfImage(bytes)) << c.name;
    EXPECT_EQ(from_file, c.expected) << c.name;
  }
}

// Every prefix of a good file, and every single byte of it overwritten: never a crash or an
// out-of-bounds read (the sanitizer build checks), and never a text that is not in the file.
TEST(VersionInfoTest, EveryTruncationAndEveryDamagedByte) {
  for (const char* name : {"version_ja.exe", "version_ja_x86.exe"}) {
    const std::string good = ReadFixture(name);
    for (size_t size = 0; size < good.size(); ++size) {
      const std::string result = FileVersionOfImage(std::string_view(good).substr(0, size));
      EXPECT_TRUE(result.empty() || result == "2.0.0.2") << name << " cut at " << size;
    }
    for (size_t at = 0; at < good.size(); ++at) {
      for (const char value : {'\0', '\xFF', '\x80'}) {
        std::string bytes = good;
        bytes[at] = value;
        const std::string result = FileVersionOfImage(bytes);
        EXPECT_LE(result.size(), 3 * 0x10000u) << name << " byte " << at;
      }
    }
  }
}

}  // namespace
}  // namespace common

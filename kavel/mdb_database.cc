#include "kavel/mdb_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/unique_fd.h"

namespace kavel {
namespace {

// The database definition page (page 0) as Jet 3 and Jet 4 write it.
constexpr unsigned char kDefinitionMagic[4] = {0x00, 0x01, 0x00, 0x00};
constexpr char kJetEngineName[] = "Standard Jet DB";  // "Standard ACE DB" marks Access 2007 files
constexpr size_t kEngineNameOffset = 4;
constexpr size_t kVersionOffset = 0x14;
constexpr size_t kHeaderBytes = kVersionOffset + 1;
constexpr unsigned char kVersionJet3 = 0x00;
constexpr unsigned char kVersionJet4 = 0x01;
constexpr uint32_t kJet3PageSize = 2048;
constexpr uint32_t kJet4PageSize = 4096;
// Definition page, global usage map and the catalog's table definition come before anything else.
constexpr uint64_t kMinimumPages = 3;
// The reader gets this long over a file, plus some per megabyte, before it counts as hung.
constexpr int kIsolationBaseSeconds = 20;
constexpr uint64_t kIsolationSecondsPerMegabyte = 1;

}  // namespace

bool LooksLikeJetFile(const std::string& path, MdbDatabase* database) {
  // Non-blocking, so that a FIFO in place of the database cannot hold the run.
  const common::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) return false;
  struct stat st {};
  unsigned char header[kHeaderBytes] = {};
  const bool read_ok = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
                       ::pread(fd.get(), header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
  if (!read_ok) return false;
  if (std::memcmp(header, kDefinitionMagic, sizeof kDefinitionMagic) != 0 ||
      std::memcmp(header + kEngineNameOffset, kJetEngineName, sizeof kJetEngineName - 1) != 0) {
    return false;
  }
  if (header[kVersionOffset] == kVersionJet4) {
    database->jet4 = true;
    database->page_size = kJet4PageSize;
  } else if (header[kVersionOffset] == kVersionJet3) {
    database->jet4 = false;
    database->page_size = kJet3PageSize;
  } else {
    return false;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size % database->page_size != 0 || size / database->page_size < kMinimumPages) return false;
  database->page_count = size / database->page_size;
  database->device = static_cast<uint64_t>(st.st_dev);
  database->inode = static_cast<uint64_t>(st.st_ino);
  database->modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}


int IsolationTimeoutSeconds(const MdbDatabase& database) {
  const uint64_t megabytes = database.page_count * database.page_size / (1024 * 1024);
  return kIsolationBaseSeconds + static_cast<int>(std::min<uint64_t>(megabytes * kIsolationSecondsPerMegabyte, 3600));
}

}  // namespace kavel

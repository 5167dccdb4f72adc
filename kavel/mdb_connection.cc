#include "kavel/mdb_connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "common/activity_log.h"
#include "common/program_folder.h"
#include "kavel/mdb_database.h"
#include "kavel/mdb_isolated_call.h"
#include "kavel/mdb_texts.h"
#include "kavel/texts.h"
#include "kavel/windows_path.h"

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
// Jet 3 text is in the code page of the machine that wrote it: the main application's is CP932.
constexpr char kJet3CharsetVariable[] = "MDB_JET3_CHARSET";
constexpr char kJet3Charset[] = "CP932";
constexpr char kCatalogTableName[] = "MSysObjects";
// A table's usage map: inline (type, first page, bitmap) or by reference to map pages.
constexpr unsigned char kInlineUsageMap = 0x00;
constexpr unsigned char kReferenceUsageMap = 0x01;
constexpr size_t kInlineUsageMapHeader = 5;
// A child reading the file gets this long, plus some per megabyte, before it counts as hung.
constexpr int kIsolationBaseSeconds = 20;
constexpr uint64_t kIsolationSecondsPerMegabyte = 1;

// Checks the file before libmdb sees it. Returns false for anything that is not a regular file of
// whole Jet 3 or Jet 4 pages with a definition page.
bool LooksLikeJetFile(const std::string& path, MdbDatabase* database) {
  // Non-blocking, so that a FIFO in place of the database cannot hold the run.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  unsigned char header[kHeaderBytes] = {};
  const bool read_ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       ::pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
  ::close(fd);
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
  return true;
}

// The catalog must list itself, and every table's definition and data pages must lie inside the
// file: a copy cut short fails here rather than later with rows missing.
bool CatalogIsWhole(const MdbDatabase& database) {
  MdbHandlePtr handle = OpenMdbHandle(database);
  if (!handle) return false;
  MdbHandle* mdb = handle.get();
  bool has_catalog_table = false;
  for (guint i = 0; i < mdb->catalog->len; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type != MDB_TABLE) continue;
    if (std::strcmp(entry->object_name, kCatalogTableName) == 0) has_catalog_table = true;
    if (entry->table_pg == 0 || entry->table_pg >= database.page_count) return false;
    MdbTableDef* table = mdb_read_table(entry);
    if (table == nullptr) return false;
    bool whole = table->usage_map != nullptr && table->map_sz >= 1 &&
                 (table->usage_map[0] == kInlineUsageMap ? table->map_sz >= kInlineUsageMapHeader
                                                        : table->usage_map[0] == kReferenceUsageMap);
    gint32 page = 0;
    for (uint64_t steps = 0; whole; ++steps) {
      page = mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned int>(table->map_sz), static_cast<guint32>(page));
      if (page <= 0) break;
      whole = static_cast<uint64_t>(page) < database.page_count && steps < database.page_count;
    }
    mdb_free_tabledef(table);
    if (!whole || page < 0) return false;
  }
  return has_catalog_table;
}

}  // namespace

MdbHandlePtr OpenMdbHandle(const MdbDatabase& database) {
  if (!database.jet4) ::setenv(kJet3CharsetVariable, kJet3Charset, 0);
  MdbHandlePtr handle(mdb_open(database.path.c_str(), MDB_NOFLAGS));
  if (handle && mdb_read_catalog(handle.get(), MDB_TABLE) == nullptr) handle.reset();
  return handle;
}

int IsolationTimeoutSeconds(const MdbDatabase& database) {
  const uint64_t megabytes = database.page_count * database.page_size / (1024 * 1024);
  return kIsolationBaseSeconds + static_cast<int>(std::min<uint64_t>(megabytes * kIsolationSecondsPerMegabyte, 3600));
}

MdbConnection::MdbConnection()
    : query1_(std::make_unique<MdbTableSource>(*this, kTableRepChk)),
      query3_(std::make_unique<MdbTableSource>(*this, kTableRep)),
      query4_(std::make_unique<MdbTableSource>(*this, kTableRepChkList)) {}

MdbConnection::~MdbConnection() = default;

void MdbConnection::Close() {
  query1_->Close();
  query3_->Close();
  query4_->Close();
  database_.reset();
}

bool MdbConnection::OpenMDB(const std::string& pstDataSource) {
  const std::string folder = common::ProgramFolder();
  std::string path = folder + kDefaultDatabaseName;
  // The line names the default database even when another file is opened: the main
  // application reads it that way.
  common::WrtLog(folder + kLogFileName, std::string(kLogDatabaseSource) + path);
  Close();
  if (!pstDataSource.empty()) {
    // A Windows caller under Wine names the file as Windows sees it.
    std::optional<std::string> mapped = MapWindowsPath(pstDataSource, WinePrefix());
    if (!mapped) return false;
    path = *mapped;
  }

  auto database = std::make_unique<MdbDatabase>();
  if (!LooksLikeJetFile(path, database.get())) return false;
  database->path = path;
  std::string unused;
  const MdbDatabase& candidate = *database;
  if (!RunIsolated([&candidate](IsolatedOutput&) { return CatalogIsWhole(candidate); },
                   IsolationTimeoutSeconds(candidate), &unused)) {
    return false;
  }
  database_ = std::move(database);
  return true;
}

}  // namespace kavel

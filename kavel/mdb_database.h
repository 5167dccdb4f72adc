// The check-results database file as the pre-checks found it. Both Kavel (before it starts the
// reader) and the reader itself (before libmdb sees the file) run the same checks; no mdbtools
// type is declared here, so Kavel itself never links libmdb.
#ifndef KAVEL_MDB_DATABASE_H_
#define KAVEL_MDB_DATABASE_H_

#include <cstdint>
#include <string>

namespace kavel {

struct MdbDatabase {
  std::string path;          // the file opened
  uint64_t page_count = 0;   // whole pages in the file when it was checked
  uint32_t page_size = 0;    // 2048 (Jet 3) or 4096 (Jet 4)
  bool jet4 = true;
  // Which file it was and when it was last written, to tell it from a file put in its place.
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t modified_ns = 0;

  bool SameFileAs(const MdbDatabase& other) const {
    return path == other.path && device == other.device && inode == other.inode &&
           modified_ns == other.modified_ns && page_count == other.page_count;
  }
};

// Checks `path` without blocking (a FIFO returns at once) and fills *database. Returns false for
// anything that is not a regular file of whole Jet 3 or Jet 4 pages with a definition page.
bool LooksLikeJetFile(const std::string& path, MdbDatabase* database);

// Seconds the reader may take over a file of this size before it is taken for hung.
int IsolationTimeoutSeconds(const MdbDatabase& database);

}  // namespace kavel

#endif  // KAVEL_MDB_DATABASE_H_

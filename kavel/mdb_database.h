// libmdb's view of an open check-results database, shared by the connection and its row sources.
// Only the database access files include it: no mdbtools type reaches the rest of the program.
#ifndef KAVEL_MDB_DATABASE_H_
#define KAVEL_MDB_DATABASE_H_

#include <mdbtools.h>

#include <cstdint>
#include <string>

namespace kavel {

struct MdbDatabase {
  MdbHandle* mdb = nullptr;  // owned; closed by the destructor
  uint64_t page_count = 0;   // whole pages in the file when it was opened
  uint32_t page_size = 0;    // 2048 (Jet 3) or 4096 (Jet 4)
  bool jet4 = true;
  std::string path;          // the file opened

  MdbDatabase() = default;
  MdbDatabase(const MdbDatabase&) = delete;
  MdbDatabase& operator=(const MdbDatabase&) = delete;
  ~MdbDatabase() {
    if (mdb != nullptr) mdb_close(mdb);
  }
};

}  // namespace kavel

#endif  // KAVEL_MDB_DATABASE_H_

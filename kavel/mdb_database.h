// The check-results database as the connection found it, and libmdb handles on it. libmdb only
// ever runs in a child process (kavel/mdb_isolated_call.h); only the database access files
// include this header, so no mdbtools type reaches the rest of the program.
#ifndef KAVEL_MDB_DATABASE_H_
#define KAVEL_MDB_DATABASE_H_

#include <mdbtools.h>

#include <cstdint>
#include <memory>
#include <string>

namespace kavel {

struct MdbDatabase {
  std::string path;          // the file opened
  uint64_t page_count = 0;   // whole pages in the file when it was opened
  uint32_t page_size = 0;    // 2048 (Jet 3) or 4096 (Jet 4)
  bool jet4 = true;
};

struct MdbHandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbHandleCloser>;

// Opens `database` read-only with its catalog of tables read, or returns null.
// Only for a child process: libmdb may crash on a damaged file.
MdbHandlePtr OpenMdbHandle(const MdbDatabase& database);

// Seconds a child may take over a file of this size before it is taken for hung.
int IsolationTimeoutSeconds(const MdbDatabase& database);

}  // namespace kavel

#endif  // KAVEL_MDB_DATABASE_H_

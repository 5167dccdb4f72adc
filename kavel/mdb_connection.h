// The check-results database connection (ADOConnection1) and its three row sources.
//
// OpenMDB opens a Jet database file read-only through mdbtools' libmdb; the file is never locked,
// so the main application may keep it open. libmdb is not hardened against damaged files: the
// file is checked first (a regular file of whole pages with a Jet 3 or Jet 4 definition page),
// and libmdb itself only runs in the database reader, a program of its own beside the real
// program file (kavel/mdb_reader.h), which checks the catalog here and reads the tables for the
// row sources.
#ifndef KAVEL_MDB_CONNECTION_H_
#define KAVEL_MDB_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>

#include "common/env.h"
#include "kavel/mdb_table_source.h"

namespace kavel {

struct MdbDatabase;  // the checked database file (kavel/mdb_database.h)

// The database reader: kavel-mdb-reader beside the real program file, where it is installed.
std::string MdbReaderPath();

class MdbConnection {
 public:
  // Creates the closed connection and its row sources ADOQuery1 (RepChk), ADOQuery3 (Rep) and
  // ADOQuery4 (RepChkList), all closed. The default database and Pdf.log lie in the program
  // folder of `env`, which must outlive the connection.
  explicit MdbConnection(common::Env& env);
  ~MdbConnection();
  MdbConnection(const MdbConnection&) = delete;
  MdbConnection& operator=(const MdbConnection&) = delete;

  // Appends "DBsource:" + program folder + "Data.Rpt" to Pdf.log in the program folder (whatever
  // the argument), closes the connection, then opens `pstDataSource`, or that default database
  // when it is empty. Returns false, silently, when the file is missing, unreadable, empty,
  // damaged or not a Jet database, or when the reader is missing, fails or stalls. Throws
  // common::IoError when the log line cannot be written.
  //
  // With `first` (one of this connection's sources), the reader that checks the database goes on
  // to read that source's rows, which are then on their way while the run prepares its report;
  // the source takes the reader over when it is opened. (One reader per run, started as early as
  // the run knows the table.)
  bool OpenMDB(const std::string& pstDataSource, MdbTableSource* first = nullptr);

  // Starts the reader that OpenMDB(pstDataSource, &first) takes over, so that the reader's own
  // start and its catalog check overlap whatever the run does before it opens the database.
  // Writes nothing and reports nothing: a file OpenMDB would refuse starts no reader, and OpenMDB
  // makes all its checks and log lines as usual. A reader OpenMDB does not take (other arguments,
  // or another file in the database's place by then) is stopped there.
  void StartReaderAhead(const std::string& pstDataSource, MdbTableSource& first);

  // Closes the database and the row sources; they read afresh after the next OpenMDB.
  void Close();
  bool IsOpen() const { return database_ != nullptr; }

  MdbTableSource& ADOQuery1() { return *query1_; }
  MdbTableSource& ADOQuery3() { return *query3_; }
  MdbTableSource& ADOQuery4() { return *query4_; }

  // For the row sources: the open database, or null while closed.
  MdbDatabase* database() const { return database_.get(); }

 private:
  common::Env& env_;                       // program folder and Pdf.log
  std::unique_ptr<MdbDatabase> database_;  // null while closed
  std::unique_ptr<MdbTableSource> query1_, query3_, query4_;

  // The file OpenMDB opens for `pstDataSource`, checked, or null when it refuses it.
  std::unique_ptr<MdbDatabase> CheckedDatabase(const std::string& pstDataSource) const;

  struct ReaderAhead;
  std::unique_ptr<ReaderAhead> ahead_;  // from StartReaderAhead, until OpenMDB
};

}  // namespace kavel

#endif  // KAVEL_MDB_CONNECTION_H_
